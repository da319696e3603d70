// The document/view frame of the pages: a template couples a document
// class, a child-frame class and a form-view class; creating a document
// through it also makes its frame and view.
//
// Documents and templates are plain logic here; the widget layer supplies
// the frames and views through a ViewFactory, and tests supply their own.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lyb {

class CDocument;

/// A view of a document (a page's form view in the program).
class CView {
public:
    virtual ~CView() = default;
    CDocument* GetDocument() const { return m_document; }

private:
    friend class CDocTemplate;
    CDocument* m_document = nullptr;
};

class CDocument {
public:
    virtual ~CDocument() = default;
    /// A fresh document; false refuses it.
    virtual bool OnNewDocument() { return true; }
    /// A document for a file; false refuses it.
    virtual bool OnOpenDocument(const std::string& path) { (void)path; return true; }

    const std::vector<CView*>& Views() const { return m_views; }
    CView* GetFirstView() const { return m_views.empty() ? nullptr : m_views.front(); }

private:
    friend class CDocTemplate;
    std::vector<CView*> m_views;
};

/// Makes the frame and view of a new document; returns the view (owned by
/// the widget layer) or null when it could not be made.
using ViewFactory = std::function<CView*(CDocument& document, const class CDocTemplate& tmpl)>;
using DocumentFactory = std::function<std::unique_ptr<CDocument>()>;

class CDocTemplate {
public:
    CDocTemplate(int resourceId, std::string documentString, std::string documentClass,
                 std::string frameClass, std::string viewClass, DocumentFactory makeDocument);

    int ResourceId() const { return m_resourceId; }
    /// "\nname\nfile type name\nfilter\n.ext\nregistry id\nregistry name".
    const std::string& DocumentString() const { return m_documentString; }
    /// Part `index` of the document string (0 window title, 1 doc name, ...).
    std::string DocumentStringPart(int index) const;
    const std::string& DocumentClass() const { return m_documentClass; }
    const std::string& FrameClass() const { return m_frameClass; }
    const std::string& ViewClass() const { return m_viewClass; }

    void SetViewFactory(ViewFactory factory) { m_makeView = std::move(factory); }
    void SetDocumentFactory(DocumentFactory factory) { m_makeDocument = std::move(factory); }

    /// New document with frame and view; `path` empty: OnNewDocument, else
    /// OnOpenDocument(path). Null when any step fails (nothing is kept then).
    CDocument* OpenDocumentFile(const std::string& path);

    CDocument* GetFirstDocument() const { return m_documents.empty() ? nullptr : m_documents.front().get(); }
    size_t DocumentCount() const { return m_documents.size(); }
    /// Drops every document (the views are the widget layer's to destroy first).
    void CloseAllDocuments() { m_documents.clear(); }

private:
    int m_resourceId;
    std::string m_documentString, m_documentClass, m_frameClass, m_viewClass;
    DocumentFactory m_makeDocument;
    ViewFactory m_makeView;
    std::vector<std::unique_ptr<CDocument>> m_documents;
};

/// The document strings of the CD Player and Club Orvik templates.
inline constexpr const char* kCDFormDocString =
    "\nCDForm\nCDForm\nCDForm Files (*.cdf)\n.cdf\nCDForm.Document\nCDForm Document";
inline constexpr const char* kClubOrvikDocString =
    "\nClubOrvik\nClub Orvik\nClub Orvik Files (*.for)\n.for\nFormClubOrvik.Document\nClub Orvik Document";
/// Resource 129's string: the Music Studio's own.
inline constexpr const char* kMusicStudioDocString =
    "\nMusicStudio\nMusic Studio\n\n\nMusicStudio.Document\nMusic Studio Document";

} // namespace lyb
