#pragma once

#include <string>
#include <utility>
#include <variant>

namespace ks {

/// What went wrong in outside work. User-visible texts are chosen by the caller from the
/// language table; these codes only classify.
enum class TErrorCode {
    ecNone,
    ecNotFound,
    ecAccess,
    ecExists,
    ecIo,
    ecNoSpace,
    ecParse,
    ecBusy,
    ecTimeout,
    ecCancelled,
    ecUnsupported,
    ecChanged,      ///< a folder was moved or replaced while it was being worked on
    ecNotRegular,   ///< not a regular file where one was needed: a folder, a device, a FIFO or a socket
    ecTooLarge,     ///< a file larger than its reader accepts
    ecDisconnected, ///< the other end closed the connection
    ecRefused,      ///< the server answered a command with a failure reply
    ecInvalid,      ///< a value that cannot be used as it stands (a name a program cannot be given)
};

/// An error value: the code, the errno seen (0 when none) and the path or key it concerns.
struct TError {
    TErrorCode Code = TErrorCode::ecNone;
    int Errno = 0;
    std::string Path;
    std::string Detail;
};

/// Builds an error value from errno as the OS left it.
TError ErrnoError(const std::string& path, int errnoValue, std::string detail = {});

/// A value or an error: the subset of std::expected the program uses.
template <class T> class Result {
public:
    Result(T value) : FData(std::in_place_index<0>, std::move(value)) {}
    Result(TError error) : FData(std::in_place_index<1>, std::move(error)) {}

    bool has_value() const { return FData.index() == 0; }
    explicit operator bool() const { return has_value(); }
    T& value() & { return std::get<0>(FData); }
    const T& value() const& { return std::get<0>(FData); }
    T&& value() && { return std::get<0>(std::move(FData)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const TError& error() const { return std::get<1>(FData); }
    template <class U> T value_or(U&& fallback) const {
        return has_value() ? value() : static_cast<T>(std::forward<U>(fallback));
    }

private:
    std::variant<T, TError> FData;
};

template <> class Result<void> {
public:
    Result() = default;
    Result(TError error) : FError(std::move(error)), FFailed(true) {}

    bool has_value() const { return !FFailed; }
    explicit operator bool() const { return !FFailed; }
    const TError& error() const { return FError; }

private:
    TError FError;
    bool FFailed = false;
};

} // namespace ks
