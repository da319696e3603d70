// The documents of the three page templates.
#pragma once

#include "app/doc_template.h"
#include "library/music_doc.h"

#include <string>

namespace lyb {

/// Document of the CD Player template. The CD player document proper
/// belongs to the CD subsystem; until it is wired in, this document carries
/// no state of its own and the page shows the drive list it is given.
class CdPageDocument final : public CDocument {};

/// Document of the Club Orvik template: the page's start address.
class CClubOrvikDoc final : public CDocument {
public:
    explicit CClubOrvikDoc(std::string startUrl) : m_startUrl(std::move(startUrl)) {}
    const std::string& StartUrl() const { return m_startUrl; }

private:
    std::string m_startUrl;
};

/// Document of the Music Studio template: holds the library's CMusicDoc.
/// The page's start-up (CMusicForm::StartUp) fills it; opening a file
/// remembers the path for that start-up.
class MusicPageDocument final : public CDocument {
public:
    explicit MusicPageDocument(const LibraryContext& context) : m_doc(context) {}
    bool OnOpenDocument(const std::string& path) override {
        m_openPath = path;
        return true;
    }
    CMusicDoc& Music() { return m_doc; }
    /// The file the document was opened for ("" for a new one).
    const std::string& OpenPath() const { return m_openPath; }

private:
    CMusicDoc m_doc;
    std::string m_openPath;
};

} // namespace lyb
