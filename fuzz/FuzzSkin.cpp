// Skins come from anywhere (downloaded packs, hand-edited files): every byte sequence must read as
// a "data.ini", as a panel mask and as a "Back.msk" without harm.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/IniFile.h"
#include "shell/SkinData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    ks::TIniFile ini;
    ini.SetText(input);
    // What was read reads the same after a trip through its own text.
    const std::string text = ini.Text();
    ks::TIniFile again;
    again.SetText(text);
    if (again.Text() != text)
        __builtin_trap();
    for (const std::string& section : ini.ReadSections()) {
        if (!ini.SectionExists(section))
            __builtin_trap();
        for (const std::string& key : ini.ReadSection(section)) {
            if (!ini.ValueExists(section, key) ||
                ini.ReadString(section, key, "") != again.ReadString(section, key, ""))
                __builtin_trap();
        }
    }

    const ks::TSkinData skin = ks::ParseSkinSettings(ini, {}, {});
    if (skin.PanelLineSpacing < 0.1 || skin.PanelLineSpacing > 10.0)
        __builtin_trap();
    for (const ks::TSkinPosition& position : skin.Positions) {
        if (position.Fields < 0 || position.Fields > 4)
            __builtin_trap();
    }

    // A written value reads back as written (line breaks became spaces).
    if (ini.WriteString("m_pos", "mlpanel", input.substr(0, 64))) {
        std::string written(input.substr(0, 64));
        for (char& c : written) {
            if (c == '\r' || c == '\n')
                c = ' ';
        }
        ks::TIniFile saved;
        saved.SetText(ini.Text());
        const std::string back = saved.ReadString("m_pos", "mlpanel", "");
        if (written.find_first_not_of(" \t") != std::string::npos && back.empty())
            __builtin_trap();
    }

    const ks::TPanelMaskData mask = ks::ParsePanelMask(input);
    if (!mask.Loaded)
        __builtin_trap();

    const ks::Result<ks::TWindowShape> shape = ks::ParseWindowShape(input);
    if (shape) {
        for (const ks::TShapeRect& r : shape->Rects) {
            if (r.Right <= r.Left || r.Bottom <= r.Top)
                __builtin_trap();
        }
        if (shape->Rects.size() > size / 16)
            __builtin_trap();
    }
    return 0;
}
