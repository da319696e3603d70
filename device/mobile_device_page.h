// The Mobile Device page without its widgets: the device tree, the list of
// the music files in the card's root folder with its selection, the space
// texts, the context menu with its greying, deletion, the length probes'
// results, and whether the Music Studio may transfer.
//
// The widget (CMobileDeviceForm) mirrors this object; the main menu's
// Studio Contents commands reach the card's list through SelectAll,
// UnselectAll, RemoveSelected and RemoveAll and their enabled states.
// Everything here runs on the user-interface thread.
#pragma once

#include "library/media_context.h"
#include "library/music_item.h"
#include "library/studio_page.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lyb {

class CUSBManager;
class MessageTarget;
struct Message;

/// One node of the device tree.
struct DeviceNode {
    std::string label;
    int image = 0;  ///< 0 the root with devices, 1 a device, 2 the root without devices
    int value = -1; ///< the device's index in the table; -1 for the root
    bool selected = false;
};

/// Images of the tree (16x16 each).
enum DeviceImage : int { kImageRoot = 0, kImageDevice = 1, kImageNoDevice = 2 };

/// Commands of the page: the main menu's numbers for the four shared with
/// it, and one of the page's own.
enum DeviceCommand : int {
    kDevCmdRefresh = 1,
    kDevCmdSelectAll = 32784,
    kDevCmdUnselectAll = 32786,
    kDevCmdRemove = 32789,
    kDevCmdRemoveAll = 32790,
};

/// Controls of the page with a tool tip.
enum class DeviceControl { RemoveButton, UsedSpace, FreeSpace, SelectedSize };

struct DevicePageChange {
    enum : unsigned {
        kTree = 1,      ///< the tree was rebuilt or its selection changed
        kRows = 2,      ///< the file list was rebuilt
        kCells = 4,     ///< row `row` changed
        kSpace = 8,     ///< the space texts changed
        kSelection = 16 ///< the page changed the list's selection
    };
    unsigned flags = 0;
    int row = -1;
};

/// What the page takes from the program.
struct DevicePageServices {
    CUSBManager* manager = nullptr;
    /// Format switches, prompt and texts (the engine is not used while
    /// listing: lengths come from the tags or the background probes).
    LibraryContext context;
    /// Where the length probes post DurationReady (null: no probes).
    MessageTarget* probeTarget = nullptr;
    LengthQueryEngine* probeEngine = nullptr;
    /// The Music Studio re-evaluates its transfer command.
    std::function<void()> transferAvailabilityChanged;
    /// True when the Small Player window exists; then it is told "connected".
    std::function<bool()> smallPlayerExists;
    std::function<void()> notifySmallPlayer;
    /// The wait cursor on (true) and off.
    std::function<void(bool)> busy;
    /// Pauses the user-interface thread (between deletions).
    std::function<void(int ms)> sleep;
};

class MobileDevicePage {
public:
    explicit MobileDevicePage(DevicePageServices services);
    MobileDevicePage(const MobileDevicePage&) = delete;
    MobileDevicePage& operator=(const MobileDevicePage&) = delete;

    /// Who re-evaluates the Music Studio's transfer command.
    void SetTransferAvailabilityChanged(std::function<void()> changed) {
        m_s.transferAvailabilityChanged = std::move(changed);
    }

    int AddListener(std::function<void(const DevicePageChange&)> listener);
    void RemoveListener(int id);

    // --- Device tree ------------------------------------------------------
    /// Re-enumerates and rebuilds the tree; `index` is the device to select
    /// afterwards (-1: the root). Deferred while a transfer runs.
    void RefreshDevices(int index);
    const std::vector<DeviceNode>& Tree() const { return m_tree; }
    /// The selected node's position in Tree() (-1 when none).
    int SelectedNode() const;
    /// A node chosen in the tree (a position in Tree()).
    void SelectNode(int node);
    /// The device of the selected node: the transfer's target (-1: none).
    int SelectedDevice() const;
    /// True when a phone is in the table and a device node is selected.
    bool DeviceSelected() const;

    // --- The card's list ----------------------------------------------------
    /// Lists the music files in the selected device's root folder.
    void ListDeviceContent();
    int RowCount() const { return static_cast<int>(m_items.size()); }
    const MusicItem& Item(int row) const { return m_items[static_cast<size_t>(row)]; }
    /// Column 0 the title, 1 the length, 2 the size.
    std::string CellText(int row, int column) const;
    std::string ColumnHeading(int column) const;
    bool IsSelected(int row) const;
    int SelectedCount() const;
    /// A change made by the user in the list.
    void SetRowSelected(int row, bool selected);
    void SelectAll();
    void UnselectAll();

    // --- Space texts ----------------------------------------------------------
    const std::string& UsedText() const { return m_usedText; }
    const std::string& FreeText() const { return m_freeText; }
    std::string ToolTip(DeviceControl control) const;

    // --- Commands ---------------------------------------------------------------
    bool RemoveEnabled() const { return SelectedCount() > 0; }
    bool SelectAllEnabled() const { return RowCount() > 0 && SelectedCount() < RowCount(); }
    bool UnselectAllEnabled() const { return SelectedCount() > 0; }
    bool RemoveAllEnabled() const { return RowCount() > 0; }
    /// The context menu: Refresh, Remove, Remove All, Select All, Unselect All.
    std::vector<MenuEntry> ContextMenu() const;
    void RunCommand(int command);
    /// Deletes the selected files from the card (after the question).
    void RemoveSelected();
    /// Selects every row and deletes.
    void RemoveAll();

    // --- Messages -----------------------------------------------------------------
    /// DurationReady: the item with exactly this path gets the length.
    void OnDurationReady(const std::string& path, std::uint32_t seconds);
    /// The page's window messages (1923, the card changed after a file,
    /// DurationReady). True when handled.
    bool OnMessage(const Message& message);

    /// The transfer dialog is open: refreshes wait until it closes.
    void SetTransferRunning(bool running);
    bool TransferRunning() const { return m_transferRunning; }

private:
    void Notify(const DevicePageChange& change);
    void ShowSpace(bool kbForm);
    void ClearSpace();
    void ClearList();
    void TransferChanged();
    std::string T(int id, const char* english) const { return m_s.context.Text(id, english); }

    DevicePageServices m_s;
    std::vector<DeviceNode> m_tree;
    std::vector<MusicItem> m_items;
    std::vector<char> m_selected;
    std::string m_usedText;
    std::string m_freeText;
    bool m_transferRunning = false;
    bool m_refreshPending = false;
    int m_nextListener = 1;
    std::vector<std::pair<int, std::function<void(const DevicePageChange&)>>> m_listeners;
};

} // namespace lyb
