// mkdist: makes the distribution folder that `setup` installs from, out of a
// build and the source tree's resources.
//
//   mkdist --bin BUILD/bin --resources SOURCE/resources --font FONT.ttf --out FOLDER
//          [--help BUILD/help] [--languages BUILD/Language]
//          [--no-strip] [--no-pack] [--replace]
//   mkdist --string-file TEXT.txt FILE.dat
//
// The folder gets: `setup` itself; "setup.ctl" with the program files,
// packed with LZHUF where that saves at least a tenth (never `setup`, which
// must run as it is); "language.inf" and the language files (".dat" files
// made from the UTF-8 ".txt" sources as UTF-16LE lines with CR LF; the
// English installer texts from the installer's own table); the font; the
// CD access setup; the compiled help and the read-me.
//
// Languages are taken by what exists, not by a list: every "lang.dat" in a
// language folder (of the resources, or of --languages) and every
// "lyb30l.chm" in a language folder of --help goes into
// "Language/<folder>/". A language folder with a "lang.dat" that no
// section of "language.inf" names gets a section of its own, named after
// the folder, with UTF-8 texts.
//
// --string-file converts one UTF-8 "id=text" file to the UTF-16LE string
// file format; the build uses it to make the interface files.
#include "app/components.h"
#include "outside/aspi/wnaspi32.h"
#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/text.h"
#include "player/lse_player.h"
#include "setup/language_inf.h"
#include "setup/packed_file.h"
#include "setup/setup_ctl.h"
#include "uninstall/setup_texts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::string bin, resources, font, out, help, languages;
    bool strip = true;
    bool pack = true;
    bool replace = false;
};

struct Totals {
    std::uint64_t files = 0, bytes = 0, stored = 0;
};

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "mkdist: %s\n", why.c_str());
    std::exit(1);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("cannot read " + path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, std::string_view bytes, bool executable = false) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    lyb::FileReplacement w;
    w.SetMode(executable ? 0755 : 0644);
    if (!w.Begin(path, {}, false) || !w.Write(bytes) || !w.Commit())
        Fail("cannot write " + path + ": " + lyb::ErrorText(w.Error()));
}

// Text with LF or CR LF line ends -> CR LF.
std::string CrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

std::string Utf16Le(const std::string& utf8) {
    std::string out;
    for (char16_t u : lyb::Utf8ToUtf16(utf8)) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

// The installer's own English texts as a string file, so a translator sees
// every number there is.
std::string EnglishSetupTexts() {
    std::string text;
    for (int id = 0; id < lyb::CLocalize::kSlotCount; ++id) {
        std::string_view t = lyb::SetupResText(id);
        if (t.empty())
            continue;
        std::string escaped;
        for (char c : t) {
            if (c == '\n')
                escaped += "\\n";
            else if (c == '\t')
                escaped += "\\t";
            else if (c == '\\')
                escaped += "\\\\";
            else
                escaped += c;
        }
        text += std::to_string(id) + "=" + escaped + "\n";
    }
    return text;
}

// A program file without its debugging sections (smaller to ship; the
// build keeps the full one).
std::string Stripped(const std::string& path, const Options& o) {
    if (!o.strip)
        return ReadFile(path);
    const std::string tmp = o.out + "/.strip-" + fs::path(path).filename().string();
    const lyb::ProcessRun run = lyb::RunAndCapture("/usr/bin/strip", {"--strip-unneeded", "-o", tmp, path}, "", 60000);
    if (run.error != 0 || run.exitCode != 0) {
        std::fprintf(stderr, "mkdist: %s is shipped unstripped (%s)\n", path.c_str(),
                     run.error ? lyb::ErrorText(run.error).c_str() : run.output.c_str());
        lyb::DeleteFileEntry(tmp);
        return ReadFile(path);
    }
    std::string bytes = ReadFile(tmp);
    lyb::DeleteFileEntry(tmp);
    return bytes;
}

// Writes a program file, packed when that saves at least a tenth. Answers
// the bytes it installs as.
std::uint64_t AddProgramFile(const Options& o, const std::string& bytes, const std::string& distPath,
                             bool executable, Totals& totals) {
    std::string stored = bytes;
    if (o.pack && bytes.size() < 0xFFFFFFFFull) {
        const std::vector<std::uint8_t> packed = lyb::MakePackedFile(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        if (packed.size() * 10 <= bytes.size() * 9)
            stored.assign(packed.begin(), packed.end());
    }
    // A plain file that happens to start like a packed one would be
    // unpacked by the installer: ship it packed whatever the gain.
    if (stored.size() == bytes.size() &&
        lyb::ReadPackedHeader(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))) {
        const std::vector<std::uint8_t> packed = lyb::MakePackedFile(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        stored.assign(packed.begin(), packed.end());
    }
    WriteFile(o.out + "/" + distPath, stored, executable);
    ++totals.files;
    totals.bytes += bytes.size();
    totals.stored += stored.size();
    std::printf("  %-28s %10zu -> %10zu%s\n", distPath.c_str(), bytes.size(), stored.size(),
                stored.size() != bytes.size() ? " (packed)" : "");
    return bytes.size();
}

std::string Backslashed(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

void CopyTree(const std::string& from, const std::string& to, const std::string& rel = "") {
    for (const auto& e : fs::directory_iterator(from + rel)) {
        const std::string name = e.path().filename().string();
        const std::string sub = rel + "/" + name;
        if (e.is_directory()) {
            CopyTree(from, to, sub);
        } else if (name.size() > 4 && name.substr(name.size() - 4) == ".txt" && rel.rfind("/Language", 0) == 0) {
            // A string file: UTF-8 "id=text" lines -> UTF-16LE with CR LF.
            WriteFile(to + sub.substr(0, sub.size() - 4) + ".dat", Utf16Le(CrLf(ReadFile(from + sub))));
        } else if (name == "language.inf") {
            WriteFile(to + sub, CrLf(ReadFile(from + sub)));
        } else {
            WriteFile(to + sub, ReadFile(from + sub), lyb::IsExecutableFile(from + sub));
        }
    }
}

// A language folder's name is one plain name: it becomes a path part and
// an INI section.
bool UsableFolderName(const std::string& name) {
    if (name.empty() || name[0] == '.')
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80 || std::isalnum(static_cast<unsigned char>(c)) || c == ' ' ||
               c == '_' || c == '-';
    });
}

std::vector<std::string> SubFolders(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec))
        return names;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (!e.is_directory())
            continue;
        if (!UsableFolderName(name)) {
            std::fprintf(stderr, "mkdist: language folder \"%s\" left out (not a plain name)\n", name.c_str());
            continue;
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The language files the build made: each language folder's files of
// --languages, and each language's compiled help of --help.
void AddBuiltLanguages(const Options& o) {
    for (const std::string& f : SubFolders(o.languages))
        for (const auto& e : fs::directory_iterator(o.languages + "/" + f))
            if (e.is_regular_file())
                WriteFile(o.out + "/Language/" + f + "/" + e.path().filename().string(), ReadFile(e.path().string()));
    for (const std::string& f : SubFolders(o.help))
        if (fs::is_regular_file(o.help + "/" + f + "/lyb30l.chm"))
            WriteFile(o.out + "/Language/" + f + "/lyb30l.chm", ReadFile(o.help + "/" + f + "/lyb30l.chm"));
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "language.inf" as the distribution needs it: the sections of languages
// whose files are missing go (with a word on standard error), and every
// language folder with an interface file that no section names gets a
// section of its own.
std::string CompleteLanguageInf(const std::string& text, const std::string& out, const std::string& fontName) {
    const std::string languageFolder = out + "/Language";
    const lyb::LanguageList list = lyb::ParseLanguageInf(text);
    std::vector<std::string> dropped;
    std::vector<std::string> named;
    std::string typeface;
    for (const lyb::SetupLanguage& l : list.languages) {
        bool complete = true;
        for (const std::string* f : {&l.interfaceFile, &l.installFile, &l.uninstallFile, &l.helpFile}) {
            if (f->empty())
                continue;
            const std::string path = lyb::ResolveBelow(languageFolder, *f);
            if (path.empty() || !fs::is_regular_file(path)) {
                std::fprintf(stderr, "mkdist: language %s left out: %s is missing\n", l.name.c_str(), f->c_str());
                complete = false;
            }
        }
        if (!complete) {
            dropped.push_back(Lower(l.section));
            continue;
        }
        if (!l.interfaceFile.empty())
            named.push_back(fs::path(lyb::ResolveBelow(languageFolder, l.interfaceFile)).lexically_normal().string());
        if (typeface.empty())
            typeface = l.typeface;
    }

    // The text again without the dropped sections.
    std::string kept;
    bool keep = true;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(pos, end - pos);
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '[') {
            const size_t close = line.find(']', first);
            const std::string section = close == std::string::npos ? "" : line.substr(first + 1, close - first - 1);
            keep = std::find(dropped.begin(), dropped.end(), Lower(section)) == dropped.end();
        }
        if (keep)
            kept += line;
        pos = end;
    }
    if (!kept.empty() && kept.back() != '\n')
        kept += "\r\n";

    for (const std::string& f : SubFolders(languageFolder)) {
        const std::string lang = fs::path(languageFolder + "/" + f + "/lang.dat").lexically_normal().string();
        if (!fs::is_regular_file(lang) || std::find(named.begin(), named.end(), lang) != named.end())
            continue;
        std::string section = f;
        for (const lyb::SetupLanguage& l : list.languages)
            if (Lower(l.section) == Lower(section))
                section += " interface";
        std::string block = "\r\n[" + section + "]\r\nLanguageName=" + f + "\r\nLocalizationFileName=" + f + "\\lang.dat\r\n";
        for (const auto& [key, file] : {std::pair{"LocalizationInstallFileName", "setup.dat"},
                                       std::pair{"LocalizationUninstallFileName", "uninstall.dat"},
                                       std::pair{"LocalizationHlpFileName", "lyb30l.chm"}})
            if (fs::is_regular_file(languageFolder + "/" + f + "/" + file))
                block += std::string(key) + "=" + f + "\\" + file + "\r\n";
        block += "FontFileName=" + fontName + "\r\nTypefaceName=" + typeface + "\r\nCharacterSet=0\r\nCodePage=65001\r\n";
        kept += block;
        std::fprintf(stderr, "mkdist: language folder %s has no section in language.inf: added one (UTF-8 texts)\n",
                     f.c_str());
        if (!fs::is_regular_file(languageFolder + "/" + f + "/lyb30l.chm"))
            std::fprintf(stderr, "mkdist: language %s has no compiled help: lyb30 shows English with it\n", f.c_str());
    }
    return kept;
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Fail(a + " needs a value");
            return argv[++i];
        };
        if (a == "--bin")
            o.bin = value();
        else if (a == "--resources")
            o.resources = value();
        else if (a == "--font")
            o.font = value();
        else if (a == "--out")
            o.out = value();
        else if (a == "--help")
            o.help = value();
        else if (a == "--languages")
            o.languages = value();
        else if (a == "--no-strip")
            o.strip = false;
        else if (a == "--no-pack")
            o.pack = false;
        else if (a == "--replace")
            o.replace = true;
        else
            Fail("unknown option " + a +
                 "\nusage: mkdist --bin DIR --resources DIR --font FILE --out DIR [--help DIR] [--languages DIR]"
                 " [--no-strip] [--no-pack] [--replace]\n       mkdist --string-file TEXT.txt FILE.dat");
    }
    if (o.bin.empty() || o.resources.empty() || o.font.empty() || o.out.empty())
        Fail("--bin, --resources, --font and --out are all needed");
    // Beside a build's bin folder lie its help and its language files.
    std::string bin = fs::absolute(o.bin).lexically_normal().string();
    while (bin.size() > 1 && bin.back() == '/')
        bin.pop_back();
    const std::string build = fs::path(bin).parent_path().string();
    if (o.help.empty() && fs::is_directory(build + "/help"))
        o.help = build + "/help";
    if (o.languages.empty() && fs::is_directory(build + "/Language"))
        o.languages = build + "/Language";
    return o;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--string-file") {
        WriteFile(argv[3], Utf16Le(CrLf(ReadFile(argv[2]))));
        return 0;
    }
    Options o = Parse(argc, argv);
    o.out = fs::absolute(o.out).lexically_normal().string();
    while (o.out.size() > 1 && o.out.back() == '/')
        o.out.pop_back();

    // An earlier distribution is replaced on request; any other folder is never emptied.
    std::error_code ec;
    if (fs::exists(o.out) && !fs::is_empty(o.out, ec)) {
        const bool earlier = fs::exists(o.out + "/setup.ctl") && fs::exists(o.out + "/language.inf");
        if (!o.replace || !earlier)
            Fail(o.out + " is not empty" + (earlier ? " (use --replace)" : ""));
        fs::remove_all(o.out, ec);
        if (ec)
            Fail("cannot remove the earlier distribution: " + ec.message());
    }
    fs::create_directories(o.out, ec);
    if (ec)
        Fail("cannot create " + o.out + ": " + ec.message());

    // The languages, their texts and the CD access setup; then the
    // language files the build made, and language.inf to match them.
    const std::string setupRes = o.resources + "/setup";
    const std::string fontName = fs::path(o.font).filename().string();
    CopyTree(setupRes + "/dist", o.out);
    AddBuiltLanguages(o);
    const lyb::LanguageList given = lyb::ParseLanguageInf(ReadFile(o.out + "/language.inf"));
    if (given.languages.empty())
        Fail("language.inf names no language");
    for (const lyb::SetupLanguage& l : given.languages)
        if (l.name.rfind("English", 0) == 0 && !l.installFile.empty() &&
            !fs::exists(lyb::ResolveBelow(o.out + "/Language", l.installFile)))
            WriteFile(lyb::ResolveBelow(o.out + "/Language", l.installFile), Utf16Le(CrLf(EnglishSetupTexts())));
    WriteFile(o.out + "/language.inf", CrLf(CompleteLanguageInf(ReadFile(o.out + "/language.inf"), o.out, fontName)));
    const lyb::LanguageList languages = lyb::ParseLanguageInf(ReadFile(o.out + "/language.inf"));
    const std::string& defaultSection = given.languages[static_cast<size_t>(given.DefaultIndex())].section;
    if (languages.languages.empty() ||
        languages.languages[static_cast<size_t>(languages.DefaultIndex())].section != defaultSection)
        Fail("the default language " + defaultSection + " of language.inf cannot be shipped");
    for (const lyb::SetupLanguage& l : languages.languages)
        if (!l.fontFile.empty() && l.fontFile != fontName)
            Fail("language " + l.name + " names the font " + l.fontFile + ", not " + o.font);
    // Language folders that no language uses are not shipped.
    for (const std::string& f : SubFolders(o.out + "/Language")) {
        const std::string folder = o.out + "/Language/" + f + "/";
        const bool used = std::any_of(languages.languages.begin(), languages.languages.end(), [&](const auto& l) {
            for (const std::string* name : {&l.interfaceFile, &l.installFile, &l.uninstallFile, &l.helpFile})
                if (!name->empty() && lyb::ResolveBelow(o.out + "/Language", *name).rfind(folder, 0) == 0)
                    return true;
            return false;
        });
        if (!used)
            fs::remove_all(folder, ec);
    }
    WriteFile(o.out + "/Font/" + fs::path(o.font).filename().string(), ReadFile(o.font));

    // The installer itself runs from the distribution: never packed.
    WriteFile(o.out + "/setup", Stripped(o.bin + "/setup", o), true);

    // The program files, the uninstaller first so that even an installation
    // that stops early leaves the means to remove it.
    std::printf("mkdist: program files into %s\n", o.out.c_str());
    Totals totals;
    std::uint64_t total = 0;
    std::string list;
    auto add = [&](const std::string& bytes, const std::string& name, bool executable) {
        total += AddProgramFile(o, bytes, "Program/" + name, executable, totals);
        list += Backslashed("Program/" + name) + "\r\n";
    };
    for (const char* required : {"uninstall", "lyb30", lyb::kTesselLibraryFile})
        if (!fs::exists(o.bin + "/" + required))
            Fail(o.bin + "/" + required + " is not built");
    add(Stripped(o.bin + "/uninstall", o), "uninstall", true);
    add(Stripped(o.bin + "/lyb30", o), "lyb30", true);
    // The help shortcut's viewer.
    if (fs::exists(o.bin + "/lyb30-help"))
        add(Stripped(o.bin + "/lyb30-help", o), "lyb30-help", true);
    // The components the program loads by file name from its folder (the
    // optional ones when the build made them); nothing else of the build's
    // libraries (test doubles lie there too).
    for (const char* lib : {lyb::kTesselLibraryFile, lyb::kAacLibraryFile, aspi::kAspiLibraryName,
                            lyb::kUsbLibraryFile, lyb::kLseLibraryFile})
        if (fs::is_regular_file(o.bin + "/" + lib))
            add(Stripped(o.bin + "/" + lib, o), lib, true);
    add(ReadFile(setupRes + "/lyb30.svg"), "lyb30.svg", false);
    add(CrLf(ReadFile(setupRes + "/ReadMe.txt")), "ReadMe.txt", false);
    // The English help, compiled; the program looks for it in its folder.
    if (o.help.empty() || !fs::is_regular_file(o.help + "/lyb30.chm"))
        Fail("no compiled help lyb30.chm (build the help files, or name their folder with --help)");
    add(ReadFile(o.help + "/lyb30.chm"), "lyb30.chm", false);

    // The skins the build made for the program.
    std::string skins;
    if (fs::is_directory(o.bin + "/Skins")) {
        for (const auto& e : fs::directory_iterator(o.bin + "/Skins")) {
            if (!e.is_regular_file())
                continue;
            const std::string name = e.path().filename().string();
            total += AddProgramFile(o, ReadFile(e.path().string()), "Skins/" + name, false, totals);
            skins += "Skins\\" + name + "\r\n";
        }
    }

    std::string ctl = "^^^^" + std::to_string(total) + "\r\n" + "!Skins\r\n" + list;
    if (!skins.empty())
        ctl += "+Skins\r\n" + skins + "+\r\n";
    lyb::SetupCtl check;
    std::string why;
    if (!lyb::ParseSetupCtl(ctl, check, why))
        Fail("the file list would not parse: " + why);
    WriteFile(o.out + "/setup.ctl", ctl);

    std::printf("mkdist: %llu files, %llu bytes stored as %llu; languages:", static_cast<unsigned long long>(totals.files),
                static_cast<unsigned long long>(totals.bytes), static_cast<unsigned long long>(totals.stored));
    for (const auto& l : languages.languages)
        std::printf(" %s", l.name.c_str());
    std::printf("\nmkdist: install with %s/setup\n", o.out.c_str());
    return 0;
}
