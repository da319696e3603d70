#include "device/transfer_session.h"

#include "app/localize.h"
#include "device/usb_manager.h"
#include "platform/prompt.h"

namespace lyb {

void ProgressBar::StepIt() {
    Advance(step);
}

void ProgressBar::Advance(std::uint64_t bytes) {
    position = bytes > upper - std::min(position, upper) ? upper : position + bytes;
}

TransferSession::TransferSession(TransferServices services, std::vector<MusicItem> items)
    : m_s(std::move(services)), m_items(std::move(items)) {}

TransferSession::~TransferSession() {
    Join();
}

std::string TransferSession::T(int id, const char* english) const {
    return m_s.localize ? m_s.localize->Get(id, english) : std::string(english);
}

std::string TransferSession::Caption() const {
    return T(220, "Transferring files to device");
}

std::string TransferSession::CancelText() const {
    return T(200, "Cancel");
}

int TransferSession::Start() {
    // 1.
    if (!m_s.manager || m_s.manager->DeviceCount() == 0 || m_s.manager->SelectedDevice() < 0)
        return -1;
    // An empty list has nothing to show a result for.
    if (m_items.empty())
        return -1;
    // 3. Every item with 8 KB to spare for its tag.
    std::uint64_t total = 0;
    for (const MusicItem& item : m_items)
        total += std::uint64_t(item.size) + 8192;
    m_totalBar = ProgressBar{total, 0, kTransferBlock};
    // 4.
    const std::uint64_t free = m_s.manager->GetDeviceSpaceKB(m_s.manager->SelectedDevice(), kSpaceFree);
    if (total / 1024 >= free) {
        const std::string text = T(332, "No space available") + "\n\n" + T(333, "Yes - proceed") + ".\n" +
                                 T(334, "No - Cancel") + ".";
        const PromptAnswer answer =
            m_s.prompt ? m_s.prompt->Ask(text, T(271, "Lyrabox 3.0"), PromptButtons::YesNo, PromptIcon::Question)
                       : PromptAnswer::No;
        if (answer != PromptAnswer::Yes)
            return -2;
    }
    // 5.
    m_worker = std::make_unique<TransferWorker>(m_s, m_items);
    if (!m_worker->Start()) {
        m_worker.reset();
        return -1;
    }
    return 0;
}

bool TransferSession::OnMessage(const Message& message) {
    switch (message.id) {
    case kMsgTransferNewFile:
        m_currentItem = static_cast<int>(message.wparam);
        m_fileBar = ProgressBar{static_cast<std::uint64_t>(message.lparam), 0, kTransferBlock};
        return false;
    case kMsgTransferStep:
        m_fileBar.StepIt();
        m_totalBar.StepIt();
        return false;
    case kMsgTransferSkip:
        m_totalBar.Advance(static_cast<std::uint64_t>(message.lparam));
        return false;
    case kMsgTransferFileDone:
        m_fileBar.Fill();
        return false;
    case kMsgTransferAllDone:
        m_totalBar.Fill();
        return false;
    case kMsgTransferText:
        if (const auto* text = std::any_cast<std::string>(&message.payload))
            (message.wparam == 0 ? m_sourceText : m_progressText) = *text;
        return false;
    case kMsgTransferCancelButton:
        m_cancelEnabled = message.wparam != 0;
        return false;
    case kMsgTransferWaitCursor:
        m_waitCursor = message.wparam != 0;
        return false;
    case kMsgTransferFinished:
        m_waitCursor = false;
        return true;
    default:
        return false;
    }
}

bool TransferSession::Cancel() {
    m_cancelEnabled = false;
    return m_worker && m_worker->PostThreadMessage(kMsgTransferCancel);
}

void TransferSession::Join() {
    if (m_worker)
        m_worker->Join();
}

const TransferOutcome& TransferSession::Outcome() const {
    return m_worker ? m_worker->Outcome() : m_empty;
}

TransferResultTexts TransferSession::ResultTexts() const {
    const TransferOutcome& o = Outcome();
    TransferResultTexts r;
    r.caption = T(321, "Transfer result");
    r.okText = T(199, "OK");
    r.heading = T(322, "Transfer failed files");
    r.failedPaths = o.failedPaths;
    const std::string tracks = T(324, "track(s)");
    r.summary = T(323, "Transferred successfully:") + " " + std::to_string(o.successes) + " " + tracks + "\n" +
                T(325, "Couldn't transfer:") + " " + std::to_string(o.failed) + " " + tracks;
    return r;
}

} // namespace lyb
