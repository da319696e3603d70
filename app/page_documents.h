// The documents of the three page templates.
#pragma once

#include "app/doc_template.h"
#include "cd/cd_doc.h"
#include "cd/rip_questions.h"
#include "library/music_doc.h"

#include <memory>
#include <string>

namespace lyb {

/// Document of the CD Player template: holds the CD subsystem's page state
/// (CCDDoc) and the questions its rips ask through the prompt and the save
/// dialog (no saving is offered without both).
class CdPageDocument final : public CDocument {
public:
    CdPageDocument(CdPageServices services, Prompt* prompt, FileDialog* files) {
        if (prompt && files) {
            m_questions = std::make_unique<PromptRipQuestions>(*prompt, *files);
            services.questions = m_questions.get();
        }
        m_doc = std::make_unique<CCDDoc>(std::move(services));
    }
    CCDDoc& Cd() { return *m_doc; }

private:
    std::unique_ptr<PromptRipQuestions> m_questions; // outlives the page state
    std::unique_ptr<CCDDoc> m_doc;
};

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
