// A small distribution folder for the installer tests: two languages, a
// packed program, plain files, a font.
#pragma once

#include "platform/prompt.h"
#include "platform/registry.h"
#include "setup/installer.h"
#include "setup/packed_file.h"
#include "tests/setup/setup_test_support.h"

#include <random>

namespace lyb::test {

struct TestDistribution {
    std::string folder;
    std::vector<std::uint8_t> program; ///< what prog/lyb30 unpacks to

    explicit TestDistribution(const std::string& at) : folder(at) {
        WriteAll(folder + "/language.inf",
                 "; languages\r\n[LANGUAGE]\r\nDefault=ENG\r\n\r\n"
                 "[ENG]\r\nLanguageName=English\r\nLocalizationFileName=English\\lang.dat\r\n"
                 "LocalizationInstallFileName=English\\setup.dat\r\nLocalizationHlpFileName=English\\help.html\r\n"
                 "FontFileName=Face.ttf\r\nTypefaceName=Orvik Sans\r\nCharacterSet=0\r\nCodePage=1252\r\n"
                 "DefaultURL=http://club.example/?a=1&b=<2>\r\n\r\n"
                 "[DEU]\r\nLanguageName=Deutsch\r\nLocalizationFileName=German\\lang.dat\r\n"
                 "LocalizationInstallFileName=German\\setup.dat\r\nFontFileName=Face.ttf\r\n"
                 "TypefaceName=DejaVu Sans\r\nCodePage=1252\r\n");
        WriteAll(folder + "/Language/English/lang.dat", Utf16Le("1=&File\r\n"));
        WriteAll(folder + "/Language/English/setup.dat", Utf16Le("197=Remove it?\r\n"));
        WriteAll(folder + "/Language/English/help.html", "<html>help</html>");
        WriteAll(folder + "/Language/German/lang.dat", Utf16Le("1=&Datei\r\n"));
        WriteAll(folder + "/Language/German/setup.dat",
                 Utf16Le("10=Lyrabox 3.0 Installation\r\n208=Lyrabox\r\n169=Lyrabox entfernen\r\n"));
        WriteAll(folder + "/Font/Face.ttf", "not really a font");
        std::mt19937 rng(7);
        for (int i = 0; i < 300000; ++i)
            program.push_back(static_cast<std::uint8_t>(i % 7 == 0 ? rng() : 'a' + i % 13));
        const std::vector<std::uint8_t> packed = MakePackedFile(program);
        WriteAll(folder + "/prog/lyb30", std::string(packed.begin(), packed.end()));
        fs::permissions(folder + "/prog/lyb30", fs::perms::owner_exec, fs::perm_options::add);
        // A plain file whose first bytes are almost a tag.
        WriteAll(folder + "/prog/simple.nms", "PAKc not packed, copied as it is");
        WriteAll(folder + "/prog/uninstall", "#!/bin/sh\n");
        WriteAll(folder + "/prog/ReadMe.txt", "read me");
        SetList("^^^^" + std::to_string(program.size() + 100) +
                "\r\n!Skins\r\n\tprog\\lyb30\r\nprog\\uninstall\r\nprog\\ReadMe.txt\r\n+Skins\r\nprog\\simple.nms\r\n");
    }
    void SetList(const std::string& text) const { WriteAll(folder + "/setup.ctl", text); }
};

/// What the installer sees in a test: the distribution `dist`, and a home
/// and runtime folder below `root`.
inline SetupEnvironment TestSetupEnvironment(const std::shared_ptr<Registry>& reg, ScriptedPrompt& prompt,
                                             const TestDistribution& dist, const TempFolder& root) {
    SetupEnvironment env;
    env.registry = reg;
    env.prompt = &prompt;
    env.sourceFolder = dist.folder;
    env.runtimeFolder = root / "run";
    env.xdg = XdgFolders{root / "home/.local/share", root / "home/.config"};
    env.home = root / "home";
    return env;
}

} // namespace lyb::test
