#include "platform/LinuxSystem.h"

#include <array>
#include <cerrno>
#include <clocale>
#include <locale.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ks {

namespace {

// The I/O priority of one thread (linux/ioprio.h): the class in the top bits, the level below.
constexpr int IoprioWhoProcess = 1;
constexpr int IoprioClassShift = 13;
constexpr int IoprioClassBestEffort = 2;

constexpr std::array<int, 5> NiceValues = {19, 10, 0, -5, -10};
constexpr std::array<int, 5> IoLevels = {7, 6, 4, 2, 0};

} // namespace

Result<void> TKLinuxSystem::SetThreadPriority(int priority) {
    if (priority < 1 || priority > 5)
        return TError{TErrorCode::ecUnsupported, 0, {}, "priority out of range"};
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    const std::size_t index = static_cast<std::size_t>(priority - 1);
    // Both are tried; the first refusal is the answer.
    const int niceResult = ::setpriority(PRIO_PROCESS, thread, NiceValues[index]);
    const int niceErrno = errno;
    const long ioResult = ::syscall(SYS_ioprio_set, IoprioWhoProcess, static_cast<int>(thread),
                                    (IoprioClassBestEffort << IoprioClassShift) | IoLevels[index]);
    const int ioErrno = errno;
    if (niceResult != 0)
        return ErrnoError("setpriority", niceErrno);
    if (ioResult != 0)
        return ErrnoError("ioprio_set", ioErrno);
    return {};
}

std::shared_ptr<void> TKLinuxSystem::UseUtf8TextInThread() {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (utf8 == static_cast<locale_t>(nullptr))
        return nullptr;
    const locale_t previous = uselocale(utf8);
    if (previous == static_cast<locale_t>(nullptr))
        return nullptr;
    // The handle gives the thread its locale back when it goes.
    return std::shared_ptr<void>(static_cast<void*>(utf8), [previous](void*) { uselocale(previous); });
}

} // namespace ks
