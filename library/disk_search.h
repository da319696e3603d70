// The "Search disks for music" dialog without its widgets, and its worker.
//
// The worker walks all fixed and network volumes ("All drives") or one
// folder on a thread of its own, counts what it finds and posts progress at
// most every 300 ms; it yields 20 ms after every 11 entries so the machine
// stays responsive, and stops when asked through an atomic flag. The files
// it found are added to the Music Studio on the user-interface thread, when
// the dialog takes the "finished" message, so no other command of the page
// can race with the adding.
//
// A volume is what the original called a drive: its root is its mount
// point. A walk never enters pseudo file systems (/proc, /sys); "All
// drives" searches each fixed or network volume on its own and does not
// enter the other volumes mounted inside it, so nothing is walked twice.
#pragma once

#include "library/studio_page.h"
#include "platform/message_target.h"
#include "platform/volumes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lyb {

/// Messages of the worker to the dialog: wparam = found, lparam = processed.
constexpr unsigned kSearchFinished = 0x6BD; ///< payload: std::vector<std::string>, the found paths
constexpr unsigned kSearchStopped = 0x6BE;
constexpr unsigned kSearchProgress = 0x6BF;

/// The file-type codes.
enum SearchType : int {
    kSearchAllTypes = 0,
    kSearchMp3 = 1,
    kSearchAac = 2,
    kSearchLse = 3,
    kSearchM3u = 4,
};

struct SearchTiming {
    int yieldEvery = 11;   ///< entries between two yields (0: never)
    int yieldMs = 20;      ///< length of a yield
    int progressMs = 300;  ///< least time between two progress messages
};

/// Where the worker's messages go. The dialog closes it before its target
/// goes away, so a worker that outlives the dialog posts nowhere.
class SearchOutbox {
  public:
    explicit SearchOutbox(MessageTarget* target) : m_target(target) {}
    bool Post(Message message);
    void Close();

  private:
    std::mutex m_mutex;
    MessageTarget* m_target;
};

/// One walk: SearchAll and SearchFolder of the worker.
class SearchWalk {
  public:
    struct Options {
        std::string location;       ///< a folder, or empty with allDrives
        bool allDrives = false;
        bool subfolders = false;
        int typeCode = kSearchAllTypes;
        std::vector<Volume> volumes; ///< the mounted volumes at the start
        SearchTiming timing;
    };

    SearchWalk(Options options, std::shared_ptr<SearchOutbox> outbox);

    /// The worker: walks, posts the last progress and then "stopped" or
    /// "finished" (with the found list). Returns 0 done, -2 stopped.
    int Run();
    /// 0 done, -1 the folder cannot be read, -2 stopped. `folder` ends with '/'.
    int SearchFolder(const std::string& folder);
    /// Sets the stop request (any thread).
    void RequestStop() { m_stop.exchange(true); }
    bool StopRequested() const { return m_stop.load(); }

    int Found() const { return m_found; }
    int Processed() const { return m_processed; }
    const std::vector<std::string>& FoundList() const { return m_foundList; }
    /// Run's result once it returned (0 done, -2 stopped); 1 before.
    int Result() const { return m_result.load(); }
    /// True when the name's ending is taken for the type code.
    static bool Takes(const std::string& name, int typeCode);

  private:
    bool Skipped(const std::string& folder) const;
    void PostProgress(bool force);

    Options m_options;
    std::shared_ptr<SearchOutbox> m_outbox;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_result{1};
    int m_found = 0;
    int m_processed = 0;
    int m_sinceYield = 0;
    std::vector<std::string> m_foundList;
    std::vector<std::string> m_noEntry; ///< mount points the walk does not enter
    int64_t m_lastProgress = 0;
};

class DiskSearch {
  public:
    /// `target` receives the worker's messages on the user-interface
    /// thread; the dialog hands them to OnMessage.
    DiskSearch(StudioPage& page, MessageTarget* target, std::vector<Volume> volumes);
    /// Stops a running walk and waits as CloseSearch does.
    ~DiskSearch();
    DiskSearch(const DiskSearch&) = delete;
    DiskSearch& operator=(const DiskSearch&) = delete;

    struct Texts {
        std::string caption, criteria, fileTypes, lookIn, folder, typesLabel, browse, close, subfolders,
            browseTitle;
    };
    Texts DialogTexts() const;

    /// The dialog opens: the folder field takes the music folder, the drive
    /// list the volume holding it, the types "All supported types".
    void Open(const std::string& musicFolder);

    /// "All drives", then the root of every fixed, removable, CD-ROM or
    /// network volume.
    const std::vector<std::string>& Drives() const { return m_drives; }
    int DriveSelection() const { return m_driveSelection; }
    void SelectDrive(int index);
    /// A folder chosen in the folder browser.
    void BrowseFolder(const std::string& chosen);
    const std::string& Location() const { return m_location; }
    /// The user typed into the folder field.
    void SetLocation(std::string location) { m_location = std::move(location); }

    /// "All supported types", then the enabled formats, then M3U.
    std::vector<std::string> TypeEntries() const;
    int TypeSelection() const { return m_typeSelection; }
    void SelectTypes(int position);
    int TypeCode() const { return m_typeCode; }
    /// The patterns searched for, shown beside the type list.
    std::string PatternText() const;

    bool Subfolders() const { return m_subfolders; }
    void SetSubfolders(bool on) { m_subfolders = on; }

    /// The start/stop button.
    void StartOrStop();
    bool Searching() const { return m_searching; }
    std::string ButtonText() const;
    const std::string& Status() const { return m_status; }

    /// A message of the worker. True when it was one.
    bool OnMessage(const Message& message);
    /// After "finished": adds up to `count` found files; true while more remain.
    bool AddSome(size_t count);
    bool Adding() const { return m_adding; }

    /// The "Close" button: a running walk is asked to stop and waited for
    /// (200 ms steps, 3 s at most; `busy` shows the wait cursor meanwhile),
    /// files found but not added yet are added, the status line is cleared.
    void CloseSearch(const std::function<void(bool)>& busy = {});

    int Found() const { return m_found; }
    int Processed() const { return m_processed; }
    int Added() const { return static_cast<int>(m_added); }
    /// The timing of the next walk (the benchmark and tests shorten it).
    void SetTiming(SearchTiming timing) { m_timing = timing; }

  private:
    std::string Text(int id, const char* english) const;
    std::string AllDrivesText() const;
    void BeginAdding(std::vector<std::string> found);
    void FinishAdding();
    bool WaitForWorker(int steps, int stepMs);

    StudioPage& m_page;
    std::vector<Volume> m_volumes;
    std::shared_ptr<SearchOutbox> m_outbox;
    std::shared_ptr<SearchWalk> m_walk;
    std::thread m_worker;
    std::shared_ptr<std::atomic<bool>> m_workerDone;
    SearchTiming m_timing;

    std::vector<std::string> m_drives;
    std::vector<std::string> m_driveRoots; ///< mount points of Drives()[1..]
    int m_driveSelection = 0;
    std::string m_location;
    int m_typeSelection = 0;
    int m_typeCode = kSearchAllTypes;
    bool m_subfolders = false;
    bool m_searching = false;
    std::string m_status;
    int m_found = 0;
    int m_processed = 0;

    bool m_closed = false;
    bool m_adding = false;
    std::vector<std::string> m_toAdd;
    size_t m_addIndex = 0;
    size_t m_added = 0;
    int m_rowsBefore = 0;
};

} // namespace lyb
