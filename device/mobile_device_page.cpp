#include "device/mobile_device_page.h"

#include "device/transfer.h"
#include "device/usb_manager.h"
#include "library/media_info.h"
#include "platform/message_target.h"
#include "platform/prompt.h"
#include "platform/trace.h"

#include <algorithm>
#include <filesystem>

namespace lyb {

namespace fs = std::filesystem;

MobileDevicePage::MobileDevicePage(DevicePageServices services) : m_s(std::move(services)) {
    // Until the first refresh the tree shows that nothing was found.
    m_tree.push_back({T(144, "No Devices Found"), kImageNoDevice, -1, true});
}

int MobileDevicePage::AddListener(std::function<void(const DevicePageChange&)> listener) {
    m_listeners.emplace_back(m_nextListener, std::move(listener));
    return m_nextListener++;
}

void MobileDevicePage::RemoveListener(int id) {
    std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; });
}

void MobileDevicePage::Notify(const DevicePageChange& change) {
    const auto listeners = m_listeners; // a listener may remove itself
    for (const auto& entry : listeners)
        entry.second(change);
}

void MobileDevicePage::TransferChanged() {
    if (m_s.transferAvailabilityChanged)
        m_s.transferAvailabilityChanged();
}

// --- Device tree ---------------------------------------------------------------

void MobileDevicePage::RefreshDevices(int index) {
    if (m_transferRunning) {
        // The transfer works on the table: it is rebuilt once the dialog closes.
        m_refreshPending = true;
        return;
    }
    if (!m_s.manager)
        return;
    m_s.manager->EnumerateDevices();
    if (m_s.smallPlayerExists && m_s.smallPlayerExists() && m_s.notifySmallPlayer)
        m_s.notifySmallPlayer();

    m_tree.clear();
    const std::vector<DeviceRecord> devices = m_s.manager->Devices();
    int select = 0;
    if (!devices.empty()) {
        m_tree.push_back({T(145, "Orvik Mobile Devices"), kImageRoot, -1, false});
        for (size_t i = 0; i < devices.size(); ++i) {
            m_tree.push_back({devices[i].product, kImageDevice, static_cast<int>(i), false});
            if (static_cast<int>(i) == index)
                select = static_cast<int>(i) + 1;
        }
    } else {
        ClearList();
        m_tree.push_back({T(144, "No Devices Found"), kImageNoDevice, -1, false});
    }
    m_tree[static_cast<size_t>(select)].selected = true;
    Notify({DevicePageChange::kTree});
    TransferChanged();
    SelectNode(select);
}

int MobileDevicePage::SelectedNode() const {
    for (size_t i = 0; i < m_tree.size(); ++i)
        if (m_tree[i].selected)
            return static_cast<int>(i);
    return -1;
}

void MobileDevicePage::SelectNode(int node) {
    if (node < 0 || static_cast<size_t>(node) >= m_tree.size() || !m_s.manager)
        return;
    if (m_s.busy)
        m_s.busy(true);
    for (size_t i = 0; i < m_tree.size(); ++i)
        m_tree[i].selected = static_cast<int>(i) == node;
    const int value = m_tree[static_cast<size_t>(node)].value;
    m_s.manager->SetSelectedDevice(value);
    TransferChanged();
    if (value >= 0) {
        ShowSpace(false);
        ListDeviceContent();
    } else {
        ClearSpace();
        ClearList();
    }
    if (m_s.busy)
        m_s.busy(false);
    Notify({DevicePageChange::kTree});
}

int MobileDevicePage::SelectedDevice() const {
    return m_s.manager ? m_s.manager->SelectedDevice() : -1;
}

bool MobileDevicePage::DeviceSelected() const {
    return m_s.manager && m_s.manager->DeviceCount() > 0 && m_s.manager->SelectedDevice() >= 0;
}

// --- The card's list -------------------------------------------------------------

void MobileDevicePage::ClearList() {
    m_items.clear();
    m_selected.clear();
    Notify({DevicePageChange::kRows});
}

void MobileDevicePage::ListDeviceContent() {
    m_items.clear();
    m_selected.clear();
    const int device = SelectedDevice();
    const std::string root = m_s.manager && device >= 0 ? m_s.manager->Device(device).rootPath : std::string();
    if (root.empty()) {
        Notify({DevicePageChange::kRows});
        return;
    }
    // Only the root folder, files only, in name order.
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError))
            names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());

    // Lengths come from the tags here; the probes measure the rest later.
    LibraryContext reading = m_s.context;
    reading.engine = nullptr;
    for (const std::string& name : names) {
        MusicItem item;
        const std::string path = root + name;
        if (GetMediaInfo(path, item, reading) != 0)
            continue;
        if (!m_s.context.formats.Accepts(item.type))
            continue;
        if (item.length == 0)
            item.length = kNoLength;
        if (item.title.empty())
            item.DeriveTitle();
        m_items.push_back(std::move(item));
    }
    m_selected.assign(m_items.size(), 0);
    Notify({DevicePageChange::kRows});
    if (m_s.probeTarget && m_s.probeEngine)
        for (const MusicItem& item : m_items)
            if (item.length == kNoLength)
                ProbeDuration(item.path, m_s.probeTarget, m_s.probeEngine);
}

std::string MobileDevicePage::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount())
        return {};
    const MusicItem& item = Item(row);
    switch (column) {
    case 0: return item.title;
    case 1: return FormatLength(item);
    case 2: return FormatSize(item.size, m_s.context.localize);
    default: return {};
    }
}

std::string MobileDevicePage::ColumnHeading(int column) const {
    switch (column) {
    case 0: return T(115, "Track or playlist title");
    case 1: return T(116, "Length");
    case 2: return T(117, "Size");
    default: return {};
    }
}

bool MobileDevicePage::IsSelected(int row) const {
    return row >= 0 && row < RowCount() && m_selected[static_cast<size_t>(row)] != 0;
}

int MobileDevicePage::SelectedCount() const {
    return static_cast<int>(std::count(m_selected.begin(), m_selected.end(), 1));
}

void MobileDevicePage::SetRowSelected(int row, bool selected) {
    if (row >= 0 && row < RowCount())
        m_selected[static_cast<size_t>(row)] = selected ? 1 : 0;
}

void MobileDevicePage::SelectAll() {
    std::fill(m_selected.begin(), m_selected.end(), 1);
    Notify({DevicePageChange::kSelection});
}

void MobileDevicePage::UnselectAll() {
    std::fill(m_selected.begin(), m_selected.end(), 0);
    Notify({DevicePageChange::kSelection});
}

// --- Space texts -----------------------------------------------------------------

void MobileDevicePage::ShowSpace(bool kbForm) {
    const int device = SelectedDevice();
    if (!m_s.manager || device < 0) {
        ClearSpace();
        return;
    }
    const std::string used = std::to_string(m_s.manager->GetDeviceSpaceKB(device, kSpaceUsed));
    const std::string free = std::to_string(m_s.manager->GetDeviceSpaceKB(device, kSpaceFree));
    // After a transferred file the texts are "%s kb"; otherwise the number
    // and the localised unit.
    const std::string unit = kbForm ? std::string("kb") : T(363, "Kb");
    m_usedText = used + " " + unit;
    m_freeText = free + " " + unit;
    Notify({DevicePageChange::kSpace});
}

void MobileDevicePage::ClearSpace() {
    m_usedText.clear();
    m_freeText.clear();
    Notify({DevicePageChange::kSpace});
}

std::string MobileDevicePage::ToolTip(DeviceControl control) const {
    switch (control) {
    case DeviceControl::RemoveButton: return T(296, "Remove selected Track(s) from Device");
    case DeviceControl::UsedSpace: return T(298, "Space used on Mobile Device");
    case DeviceControl::FreeSpace: return T(299, "Space available on Mobile Device");
    case DeviceControl::SelectedSize: return T(297, "Music selected size");
    }
    return {};
}

// --- Commands ---------------------------------------------------------------------

std::vector<MenuEntry> MobileDevicePage::ContextMenu() const {
    std::vector<MenuEntry> menu;
    menu.push_back({kDevCmdRefresh, T(240, "Refresh"), true, false});
    menu.push_back({kCmdSeparator, {}, true, false});
    menu.push_back({kDevCmdRemove, T(123, "Remove"), RemoveEnabled(), false});
    menu.push_back({kDevCmdRemoveAll, T(241, "Remove All"), RemoveAllEnabled(), false});
    menu.push_back({kCmdSeparator, {}, true, false});
    menu.push_back({kDevCmdSelectAll, T(129, "Select All"), SelectAllEnabled(), false});
    menu.push_back({kDevCmdUnselectAll, T(130, "Unselect All"), UnselectAllEnabled(), false});
    return menu;
}

void MobileDevicePage::RunCommand(int command) {
    switch (command) {
    case kDevCmdRefresh: RefreshDevices(SelectedDevice()); break;
    case kDevCmdRemove: RemoveSelected(); break;
    case kDevCmdRemoveAll: RemoveAll(); break;
    case kDevCmdSelectAll: SelectAll(); break;
    case kDevCmdUnselectAll: UnselectAll(); break;
    default: break;
    }
}

void MobileDevicePage::RemoveAll() {
    if (RowCount() == 0)
        return;
    SelectAll();
    RemoveSelected();
}

void MobileDevicePage::RemoveSelected() {
    if (SelectedCount() == 0)
        return;
    Prompt* prompt = m_s.context.prompt;
    const std::string caption = T(271, "Lyrabox 3.0");
    auto ask = [&](const std::string& text, PromptButtons buttons, PromptIcon icon) {
        return prompt ? prompt->Ask(text, caption, buttons, icon) : PromptAnswer::No;
    };
    if (ask(T(150, "Are you sure?"), PromptButtons::YesNo, PromptIcon::Warning) != PromptAnswer::Yes)
        return;
    if (m_s.busy)
        m_s.busy(true);
    for (int row = 0; row < RowCount(); ++row) {
        if (!IsSelected(row))
            continue;
        const MusicItem& item = Item(row);
        std::error_code ec;
        const fs::perms perms = fs::status(item.path, ec).permissions();
        const bool readOnly = !ec && (perms & fs::perms::owner_write) == fs::perms::none;
        if (readOnly) {
            const std::string question = T(360, "The file") + " " + item.title + " " + T(361, "is read only") +
                                         "\n" + T(362, "Do you wish to delete it?");
            if (ask(question, PromptButtons::YesNo, PromptIcon::Warning) != PromptAnswer::Yes)
                continue; // the user keeps it
            fs::permissions(item.path, fs::perms::owner_write, fs::perm_options::add, ec);
        }
        if (!fs::remove(item.path, ec) || ec) {
            if (prompt)
                prompt->Ask(T(151, "Unable to remove") + " " + item.title + "!", caption, PromptButtons::Ok,
                            PromptIcon::Stop);
            continue;
        }
        TraceFormat("%s %s %s", T(152, "File").c_str(), item.title.c_str(), T(188, "removed").c_str());
        if (m_s.sleep)
            m_s.sleep(100);
    }
    if (m_s.busy)
        m_s.busy(false);
    ShowSpace(false);
    if (SelectedDevice() >= 0)
        ListDeviceContent();
    else
        RefreshDevices(-1);
}

// --- Messages -------------------------------------------------------------------------

void MobileDevicePage::OnDurationReady(const std::string& path, std::uint32_t seconds) {
    for (int row = 0; row < RowCount(); ++row) {
        MusicItem& item = m_items[static_cast<size_t>(row)];
        if (item.path != path)
            continue;
        item.length = seconds;
        item.flags |= kInfoRead;
        Notify({DevicePageChange::kCells, row});
        return;
    }
}

bool MobileDevicePage::OnMessage(const Message& message) {
    switch (message.id) {
    case kMsgRefreshDevices:
        if (message.lparam == 0)
            RefreshDevices(-1);
        return true;
    case kMsgCardChanged:
        ShowSpace(true);
        ListDeviceContent();
        return true;
    case kDurationReady:
        if (const auto* path = std::any_cast<std::string>(&message.payload))
            OnDurationReady(*path, static_cast<std::uint32_t>(message.lparam));
        return true;
    default:
        return false;
    }
}

void MobileDevicePage::SetTransferRunning(bool running) {
    m_transferRunning = running;
    if (!running && m_refreshPending) {
        m_refreshPending = false;
        RefreshDevices(-1);
    }
}

} // namespace lyb
