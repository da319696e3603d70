// mkdist: makes the distribution folder that `setup` installs from, out of a
// build and the source tree's resources.
//
//   mkdist --bin BUILD/bin --resources SOURCE/resources --font FONT.ttf --out FOLDER
//          [--no-strip] [--no-pack] [--replace]
//
// The folder gets: `setup` itself; "setup.ctl" with the program files,
// packed with LZHUF where that saves at least a tenth (never `setup`, which
// must run as it is); "language.inf" and the language files (".dat" files
// made from the UTF-8 ".txt" sources as UTF-16LE lines with CR LF; the
// English installer texts from the installer's own table); the font; the
// CD access setup; the help and the read-me.
#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/text.h"
#include "setup/language_inf.h"
#include "setup/packed_file.h"
#include "setup/setup_ctl.h"
#include "uninstall/setup_texts.h"

#include <algorithm>
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
    std::string bin, resources, font, out;
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
        else if (a == "--no-strip")
            o.strip = false;
        else if (a == "--no-pack")
            o.pack = false;
        else if (a == "--replace")
            o.replace = true;
        else
            Fail("unknown option " + a +
                 "\nusage: mkdist --bin DIR --resources DIR --font FILE --out DIR [--no-strip] [--no-pack] [--replace]");
    }
    if (o.bin.empty() || o.resources.empty() || o.font.empty() || o.out.empty())
        Fail("--bin, --resources, --font and --out are all needed");
    return o;
}

} // namespace

int main(int argc, char** argv) {
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

    // The languages, their texts and the CD access setup.
    const std::string setupRes = o.resources + "/setup";
    CopyTree(setupRes + "/dist", o.out);
    const lyb::LanguageList languages = lyb::ParseLanguageInf(ReadFile(o.out + "/language.inf"));
    if (languages.languages.empty())
        Fail("language.inf names no language");
    for (const lyb::SetupLanguage& l : languages.languages) {
        if (l.name.rfind("English", 0) == 0 && !l.installFile.empty() &&
            !fs::exists(lyb::ResolveBelow(o.out + "/Language", l.installFile)))
            WriteFile(lyb::ResolveBelow(o.out + "/Language", l.installFile), Utf16Le(CrLf(EnglishSetupTexts())));
        for (const std::string* f : {&l.interfaceFile, &l.installFile, &l.uninstallFile, &l.helpFile}) {
            if (f->empty())
                continue;
            const std::string path = lyb::ResolveBelow(o.out + "/Language", *f);
            if (path.empty() || !fs::exists(path))
                Fail("language " + l.name + ": " + *f + " is missing");
        }
        if (!l.fontFile.empty() && l.fontFile != fs::path(o.font).filename().string())
            Fail("language " + l.name + " names the font " + l.fontFile + ", not " + o.font);
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
    for (const char* required : {"uninstall", "lyb30", "libtessel.so"})
        if (!fs::exists(o.bin + "/" + required))
            Fail(o.bin + "/" + required + " is not built");
    add(Stripped(o.bin + "/uninstall", o), "uninstall", true);
    add(Stripped(o.bin + "/lyb30", o), "lyb30", true);
    // Every component the program loads by file name from its folder.
    std::vector<std::string> components;
    for (const auto& e : fs::directory_iterator(o.bin)) {
        const std::string name = e.path().filename().string();
        if (e.is_regular_file() && name.rfind("lib", 0) == 0 && name.size() > 6 && name.substr(name.size() - 3) == ".so")
            components.push_back(name);
    }
    std::sort(components.begin(), components.end());
    for (const std::string& lib : components)
        add(Stripped(o.bin + "/" + lib, o), lib, true);
    add(ReadFile(setupRes + "/lyb30.svg"), "lyb30.svg", false);
    add(CrLf(ReadFile(setupRes + "/ReadMe.txt")), "ReadMe.txt", false);
    // The English help: its page goes where the program looks for it.
    total += AddProgramFile(o, ReadFile(setupRes + "/help.html"), "Help/lyb30/index.html", false, totals);
    list += "!help\\lyb30\r\n+help\\lyb30\r\nHelp\\lyb30\\index.html\r\n+\r\n";

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
