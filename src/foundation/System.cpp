#include "foundation/System.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/Result.h"

namespace ks {

namespace {
TKSystem* GSystem = nullptr;
TKFileSystem* GFileSystem = nullptr;
} // namespace

TError ErrnoError(const std::string& path, int errnoValue, std::string detail) {
    TError error;
    error.Errno = errnoValue;
    error.Path = path;
    error.Detail = detail.empty() ? std::string(std::strerror(errnoValue)) : std::move(detail);
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
        error.Code = TErrorCode::ecNotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        error.Code = TErrorCode::ecAccess;
        break;
    case EEXIST:
    case ENOTEMPTY:
        error.Code = TErrorCode::ecExists;
        break;
    case ENOSPC:
    case EDQUOT:
        error.Code = TErrorCode::ecNoSpace;
        break;
    case EBUSY:
        error.Code = TErrorCode::ecBusy;
        break;
    case ETIMEDOUT:
        error.Code = TErrorCode::ecTimeout;
        break;
    default:
        error.Code = TErrorCode::ecIo;
        break;
    }
    return error;
}

void SetPlatform(TKSystem* system, TKFileSystem* fileSystem) {
    GSystem = system;
    GFileSystem = fileSystem;
}

bool HasPlatform() {
    return GSystem != nullptr && GFileSystem != nullptr;
}

TKSystem& System() {
    if (GSystem == nullptr) {
        std::fputs("kSable: no platform installed\n", stderr);
        std::abort();
    }
    return *GSystem;
}

TKFileSystem& FileSystem() {
    if (GFileSystem == nullptr) {
        std::fputs("kSable: no platform installed\n", stderr);
        std::abort();
    }
    return *GFileSystem;
}

std::string TKSystem::HashPassword(std::string_view) const {
    return {};
}

bool TKSystem::PasswordMatches(std::string_view, std::string_view) const {
    return false;
}

std::shared_ptr<void> TKSystem::UseUtf8TextInThread() {
    return nullptr;
}

Result<std::unique_ptr<TKChildProcess>> TKSystem::StartChild(const TChildSpec& spec) {
    return TError{TErrorCode::ecUnsupported, 0, spec.Argv.empty() ? std::string() : spec.Argv.front(),
                  "watched programs"};
}

int TKSystem::ProcessId() const {
    return 0;
}

Result<void> TKSystem::PowerOff() {
    return TError{TErrorCode::ecUnsupported, 0, {}, "powering off"};
}

Result<void> TKSystem::SetThreadPriority(int) {
    return TError{TErrorCode::ecUnsupported, 0, {}, "thread priorities"};
}

} // namespace ks
