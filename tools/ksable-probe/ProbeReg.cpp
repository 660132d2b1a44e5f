// ksable-probe reg get|set|list: the HKEY_CURRENT_USER store the program uses, on the command line.

#include <string>
#include <string_view>
#include <vector>

#include "Probe.h"
#include "foundation/Json.h"
#include "foundation/RegistryStore.h"
#include "foundation/System.h"

namespace ks::probe {

namespace {

constexpr const char* RegUsage = "reg get KEYPATH NAME | reg set KEYPATH NAME VALUE | reg list KEYPATH";

// The key path without the root, which may be given in front ("HKEY_CURRENT_USER\Software").
std::string KeyWithoutRoot(std::string_view keyPath) {
    constexpr std::string_view Root = "HKEY_CURRENT_USER";
    if (keyPath.size() >= Root.size()) {
        bool sameRoot = true;
        for (std::size_t i = 0; i < Root.size(); ++i) {
            const char c = keyPath[i];
            sameRoot = sameRoot && (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == Root[i];
        }
        if (sameRoot && (keyPath.size() == Root.size() || keyPath[Root.size()] == '\\'))
            keyPath.remove_prefix(keyPath.size() == Root.size() ? Root.size() : Root.size() + 1);
    }
    return std::string(keyPath);
}

void PrintValue(const std::string& key, const std::string& name, const std::string& value) {
    TJsonLine().Add("Key", key).Add("Name", name).Add("Value", value).Print();
}

} // namespace

int ProbeReg(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return Usage(RegUsage);
    const std::string& command = args[0];
    const std::string key = KeyWithoutRoot(args[1]);
    const bool shapeOk = (command == "get" && args.size() == 3) || (command == "set" && args.size() == 4) ||
                         (command == "list" && args.size() == 2);
    if (!shapeOk)
        return Usage(RegUsage);

    TKRegistryStore store(System().ConfigDir() + "registry");
    // A damaged store has been set aside by now; saying so once is enough, the next run starts
    // from an empty store.
    if (const Result<void> loaded = store.Load(); !loaded)
        return Fail(loaded.error().Path + ": " + loaded.error().Detail);

    if (command == "get") {
        const std::optional<std::string> value = store.Read(key, args[2]);
        if (!value)
            return Fail("no value \"" + args[2] + "\" in key \"" + key + "\"");
        PrintValue(key, args[2], *value);
        return 0;
    }
    if (command == "set") {
        store.Write(key, args[2], args[3]);
        if (!store.Dirty())
            return Fail("a key path that cannot be stored: \"" + key + "\"");
        if (const Result<void> flushed = store.Flush(); !flushed)
            return Fail(flushed.error().Path + ": " + flushed.error().Detail);
        PrintValue(key, args[2], args[3]);
        return 0;
    }
    if (!store.KeyExists(key))
        return Fail("no key \"" + key + "\"");
    for (const auto& [name, value] : store.Values(key))
        PrintValue(key, name, value);
    for (const std::string& subKey : store.SubKeys(key))
        TJsonLine().Add("Key", key).Add("SubKey", subKey).Print();
    return 0;
}

} // namespace ks::probe
