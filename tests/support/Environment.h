#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace ks::test {

/// Sets environment variables for one test and puts the old values back when it goes away.
class TEnv {
public:
    TEnv() = default;
    TEnv(const TEnv&) = delete;
    TEnv& operator=(const TEnv&) = delete;
    ~TEnv() {
        for (const auto& [name, value] : FSaved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    /// Sets name to value, or removes it when value is empty.
    void Set(const std::string& name, const std::optional<std::string>& value) {
        if (FSaved.find(name) == FSaved.end()) {
            const char* old = std::getenv(name.c_str());
            FSaved[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> FSaved;
};

} // namespace ks::test
