#include "app/doc_template.h"

namespace lyb {

CDocTemplate::CDocTemplate(int resourceId, std::string documentString, std::string documentClass,
                           std::string frameClass, std::string viewClass, DocumentFactory makeDocument)
    : m_resourceId(resourceId), m_documentString(std::move(documentString)),
      m_documentClass(std::move(documentClass)), m_frameClass(std::move(frameClass)),
      m_viewClass(std::move(viewClass)), m_makeDocument(std::move(makeDocument)) {}

std::string CDocTemplate::DocumentStringPart(int index) const {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = m_documentString.find('\n', start);
        if (start == std::string::npos)
            return {};
        ++start;
    }
    size_t end = m_documentString.find('\n', start);
    return m_documentString.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

CDocument* CDocTemplate::OpenDocumentFile(const std::string& path) {
    if (!m_makeDocument)
        return nullptr;
    std::unique_ptr<CDocument> doc = m_makeDocument();
    if (!doc)
        return nullptr;
    CDocument* raw = doc.get();
    m_documents.push_back(std::move(doc));
    // The document is filled first, so a refused document never leaves a
    // frame pointing at it.
    const bool ok = path.empty() ? raw->OnNewDocument() : raw->OnOpenDocument(path);
    if (!ok) {
        m_documents.pop_back();
        return nullptr;
    }
    if (m_makeView) {
        CView* view = m_makeView(*raw, *this);
        if (!view) {
            m_documents.pop_back();
            return nullptr;
        }
        view->m_document = raw;
        raw->m_views.push_back(view);
    }
    return raw;
}

} // namespace lyb
