// mkskin: makes Small Player skins (".nms" files) from pictures.
//
//   mkskin [TEXTS] --picture PICTURE [--colour #RRGGBB] -o OUT.nms
//       the face is PICTURE (any size; scaled to cover 300 x 104), the
//       display, keys and lights are drawn over it in colours taken from
//       the picture (or from --colour)
//   mkskin [TEXTS] --sheet SHEET.png -o OUT.nms
//       SHEET is a whole 300 x 312 skin picture (start from --template)
//   mkskin [TEXTS] --builtin -o OUT.nms
//       the program's own skin
//   mkskin --template OUT.png        the built-in skin picture, to edit
//   mkskin --extract IN.nms OUT.png  a skin's picture, to edit
//   mkskin --check IN.nms            reads a skin as the program does
// TEXTS: --author TEXT (49 bytes at most) --description TEXT (99 bytes).
#include "player/art/skin_art.h"
#include "player/skin_file.h"
#include "platform/atomic_file.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: mkskin [--author TEXT] [--description TEXT] (--picture FILE [--colour #RRGGBB] | "
                 "--sheet FILE | --builtin) -o OUT.nms\n"
                 "       mkskin --template OUT.png\n"
                 "       mkskin --extract IN.nms OUT.png\n"
                 "       mkskin --check IN.nms\n");
    return 2;
}


bool LoadPicture(const std::string& path, QImage& image) {
    QImageReader reader(QString::fromStdString(path));
    reader.setAutoTransform(true);
    image = reader.read();
    if (image.isNull()) {
        std::fprintf(stderr, "mkskin: cannot read the picture %s: %s\n", path.c_str(),
                     reader.errorString().toLocal8Bit().constData());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // image format plug-ins
    std::string author = "Lyrabox", description, picture, sheet, colour, out;
    bool builtin = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&](std::string& v) {
            if (i + 1 >= argc)
                return false;
            v = argv[++i];
            return true;
        };
        if (a == "--author") {
            if (!next(author))
                return Usage();
        } else if (a == "--description") {
            if (!next(description))
                return Usage();
        } else if (a == "--picture") {
            if (!next(picture))
                return Usage();
        } else if (a == "--sheet") {
            if (!next(sheet))
                return Usage();
        } else if (a == "--colour" || a == "--color") {
            if (!next(colour))
                return Usage();
        } else if (a == "--builtin") {
            builtin = true;
        } else if (a == "-o") {
            if (!next(out))
                return Usage();
        } else if (a == "--template" && i + 1 < argc) {
            const std::string png = argv[++i];
            if (!lyb::BuiltinSkinPicture().save(QString::fromStdString(png), "PNG")) {
                std::fprintf(stderr, "mkskin: cannot write %s\n", png.c_str());
                return 1;
            }
            return 0;
        } else if (a == "--extract" && i + 2 < argc) {
            const std::string nms = argv[++i], png = argv[++i];
            const lyb::SkinFile s = lyb::ReadSkinFile(nms);
            if (!s.ok) {
                std::fprintf(stderr, "mkskin: %s is not a skin (%s)\n", nms.c_str(),
                             s.failedCheck.empty() ? "cannot be opened" : s.failedCheck.c_str());
                return 1;
            }
            if (!lyb::ToImage(s.picture).save(QString::fromStdString(png), "PNG")) {
                std::fprintf(stderr, "mkskin: cannot write %s\n", png.c_str());
                return 1;
            }
            return 0;
        } else if (a == "--check" && i + 1 < argc) {
            const std::string nms = argv[++i];
            const lyb::SkinFile s = lyb::ReadSkinFile(nms);
            if (!s.ok) {
                std::printf("%s: refused: %s\n", nms.c_str(),
                            s.failedCheck.empty() ? "cannot be opened" : s.failedCheck.c_str());
                return 1;
            }
            std::printf("%s: skin\nauthor: %s\ndescription: %s\n", nms.c_str(), s.author.c_str(),
                        s.description.c_str());
            return 0;
        } else {
            return Usage();
        }
    }
    if (out.empty() || (builtin + !picture.empty() + !sheet.empty()) != 1)
        return Usage();

    QImage image;
    if (builtin) {
        image = lyb::BuiltinSkinPicture();
    } else if (!sheet.empty()) {
        if (!LoadPicture(sheet, image))
            return 1;
        if (image.width() != lyb::skin::kWidth || image.height() != lyb::skin::kHeight) {
            std::fprintf(stderr, "mkskin: a sheet must be %d x %d pixels (see --template); %s is %d x %d\n",
                         lyb::skin::kWidth, lyb::skin::kHeight, sheet.c_str(), image.width(), image.height());
            return 1;
        }
    } else {
        QImage face;
        if (!LoadPicture(picture, face))
            return 1;
        QColor base = lyb::AverageColour(face);
        if (!colour.empty()) {
            base = QColor(QString::fromStdString(colour));
            if (!base.isValid()) {
                std::fprintf(stderr, "mkskin: %s is not a colour (#RRGGBB)\n", colour.c_str());
                return 1;
            }
        }
        image = lyb::DrawSkinPicture(lyb::SkinArtStyle::FromColour(base), &face);
    }
    if (author.size() >= lyb::skin::kAuthorBytes || description.size() >= lyb::skin::kDescriptionBytes)
        std::fprintf(stderr, "mkskin: note: the author keeps 49 bytes and the description 99\n");
    const std::string bytes = lyb::WriteSkinBytes(lyb::ToSkinPicture(image), author, description);
    if (!lyb::ReplaceFileAtomically(out, bytes)) {
        std::fprintf(stderr, "mkskin: cannot write %s\n", out.c_str());
        return 1;
    }
    // Read it back the way the program does.
    const lyb::SkinFile check = lyb::ReadSkinFile(out);
    if (!check.ok) {
        std::fprintf(stderr, "mkskin: %s does not read back (%s)\n", out.c_str(), check.failedCheck.c_str());
        return 1;
    }
    return 0;
}
