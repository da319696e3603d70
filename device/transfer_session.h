// The transfer dialog without its widgets: the start checks, the two
// progress bars and the texts driven by the worker's messages, the cancel
// request, and the result dialog's texts. The widget dialog (ui/) and the
// library command line show the same session.
#pragma once

#include "device/transfer.h"

#include <memory>
#include <string>
#include <vector>

namespace lyb {

/// A progress bar: range 0 to `upper`, moved in `step`s.
struct ProgressBar {
    std::uint64_t upper = 0;
    std::uint64_t position = 0;
    std::uint64_t step = kTransferBlock;

    /// One step, or to the upper end when the step would pass it.
    void StepIt();
    void Advance(std::uint64_t bytes);
    void Fill() { position = upper; }
};

/// The texts of the result dialog.
struct TransferResultTexts {
    std::string caption;
    std::string okText;
    std::string heading; ///< the list's one column
    std::vector<std::string> failedPaths;
    std::string summary; ///< two lines
};

class TransferSession {
public:
    /// `services.dialog` must deliver to OnMessage on the owner's thread.
    TransferSession(TransferServices services, std::vector<MusicItem> items);
    ~TransferSession();
    TransferSession(const TransferSession&) = delete;
    TransferSession& operator=(const TransferSession&) = delete;

    /// The dialog's start: 0 the worker runs; -1 the dialog ends at once (no
    /// device selected, nothing to transfer, no thread); -2 the user declined
    /// to go on without room for everything.
    int Start();
    /// A message of the worker; true when the dialog is to end (1526).
    bool OnMessage(const Message& message);
    /// The cancel button: disables it and posts the request to the worker.
    /// False when the worker's queue did not take it (retry later, unless
    /// the worker has finished).
    bool Cancel();
    /// Waits for the worker (after the end message).
    void Join();

    bool Running() const { return m_worker && !m_worker->Finished(); }
    bool WorkerFinished() const { return m_worker && m_worker->Finished(); }
    const ProgressBar& FileBar() const { return m_fileBar; }
    const ProgressBar& TotalBar() const { return m_totalBar; }
    const std::string& SourceText() const { return m_sourceText; }
    const std::string& ProgressText() const { return m_progressText; }
    bool CancelEnabled() const { return m_cancelEnabled; }
    bool WaitCursor() const { return m_waitCursor; }
    /// The item whose file is being copied (-1 before the first).
    int CurrentItem() const { return m_currentItem; }
    size_t ItemCount() const { return m_items.size(); }

    std::string Caption() const;
    std::string CancelText() const;

    /// The outcome (after the end message and Join).
    const TransferOutcome& Outcome() const;
    TransferResultTexts ResultTexts() const;

private:
    std::string T(int id, const char* english) const;

    TransferServices m_s;
    std::vector<MusicItem> m_items;
    std::unique_ptr<TransferWorker> m_worker;
    ProgressBar m_fileBar;
    ProgressBar m_totalBar;
    std::string m_sourceText;
    std::string m_progressText;
    bool m_cancelEnabled = true;
    bool m_waitCursor = false;
    int m_currentItem = -1;
    TransferOutcome m_empty;
};

} // namespace lyb
