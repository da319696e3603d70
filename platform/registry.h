// The settings store: hives of keys holding typed values, as the program,
// the installer and the uninstaller expect to find them.
//
// Three hives: the machine-wide one (written by the installer, normally
// read-only for the program), the current user's and the classes root (file
// associations). Keys are paths with '\' between the parts
// ("SOFTWARE\Orvik\Lyrabox 3.0"); key and value names compare without regard
// to ASCII letter case and keep the spelling they were created with. The
// value named "" is the key's default value.
//
// Backends (RegistryStore): a file-backed one (one text file per hive,
// see platform/linux/file_registry.h) and an in-memory one for tests. Every
// change is applied to the store's latest content under its lock, so two
// processes writing different values never lose each other's writes.
//
// Nothing throws; every operation answers a RegStatus.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace lyb {

enum class Hive { LocalMachine, CurrentUser, ClassesRoot };

/// Access asked for when opening a key. Write and Full need a writable hive.
enum class RegAccess { Read, Write, Full };

/// Value types, numbered as the classic registry numbers them.
enum class RegType : std::uint32_t { Sz = 1, Binary = 3, Dword = 4 };

enum class RegStatus {
    Ok,
    NotFound,     ///< no such key or value
    AccessDenied, ///< write to a read-only hive or through a read-only key
    WrongType,    ///< the value exists with another type
    MoreData,     ///< the value does not fit the caller's limit
    NotOpen,      ///< operation on a closed key
    IoError,      ///< the store could not be read or written
    BadName,      ///< empty or malformed key path
};

struct RegValue {
    RegType type = RegType::Sz;
    std::string text;                 ///< Sz: UTF-8 text without terminator
    std::uint32_t dword = 0;          ///< Dword
    std::vector<std::uint8_t> binary; ///< Binary

    static RegValue Sz(std::string t) { RegValue v; v.type = RegType::Sz; v.text = std::move(t); return v; }
    static RegValue Dword(std::uint32_t d) { RegValue v; v.type = RegType::Dword; v.dword = d; return v; }
    static RegValue Binary(std::vector<std::uint8_t> b) { RegValue v; v.type = RegType::Binary; v.binary = std::move(b); return v; }
    bool operator==(const RegValue&) const = default;
};

/// ASCII case-insensitive ordering of names.
struct RegNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

/// A line of a hive file that this program does not understand (another
/// program's value types, a continuation line, a comment), kept as written
/// so that a rewrite loses nothing.
struct RegForeignLine {
    std::string text;         ///< the line without its line break
    bool namesValue = false;  ///< the line starts with a value name ("name"= or @=)
    std::string valueName;    ///< that name ("" for @)
    bool operator==(const RegForeignLine&) const = default;
};

struct RegKeyData {
    std::string name; ///< the full path as first created
    std::map<std::string, RegValue, RegNameLess> values;
    /// Lines of the key's section not understood, in file order; written
    /// after the values. Setting or deleting a value drops those that name it.
    std::vector<RegForeignLine> foreign;
};

/// One hive's content: every key by full path (parents are implied by
/// their children but also listed once created), and what the file holds
/// beside them that this program does not understand.
struct HiveData {
    std::map<std::string, RegKeyData, RegNameLess> keys;
    /// Lines before the first section (comments, values without a key).
    std::vector<std::string> leading;
    /// Sections of another hive or with a malformed header, with their
    /// lines, as written.
    std::vector<std::string> otherSections;
    bool operator==(const HiveData& o) const;
};

/// Where hives live. Implementations are thread-safe.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    /// The hive's current content (a copy).
    virtual RegStatus Read(Hive hive, HiveData& out) = 0;
    /// Applies `change` to the latest content and stores the result
    /// atomically. `change` may run more than once and must only edit `data`;
    /// it returns false to store nothing.
    virtual RegStatus Modify(Hive hive, const std::function<bool(HiveData& data)>& change) = 0;
    /// False when the program may not change the hive.
    virtual bool Writable(Hive hive) const = 0;
};

/// In-memory hives (tests, headless demos). All hives writable unless told.
class MemoryRegistryStore final : public RegistryStore {
public:
    RegStatus Read(Hive hive, HiveData& out) override;
    RegStatus Modify(Hive hive, const std::function<bool(HiveData&)>& change) override;
    bool Writable(Hive hive) const override;
    void SetWritable(Hive hive, bool writable);

private:
    mutable std::mutex m_mutex;
    HiveData m_hives[3];
    bool m_writable[3] = {true, true, true};
};

class RegKey;

/// The registry as the program uses it: opens keys of a store.
class Registry {
public:
    explicit Registry(std::shared_ptr<RegistryStore> store);

    /// Opens an existing key. Write/Full on a read-only hive: AccessDenied.
    RegStatus OpenKey(Hive hive, std::string_view path, RegAccess access, RegKey& out) const;
    /// Opens the key, creating it and its missing parents. `created` (if
    /// given) tells whether the key was new.
    RegStatus CreateKey(Hive hive, std::string_view path, RegAccess access, RegKey& out,
                        bool* created = nullptr) const;
    /// Creates the key (and its missing parents) when needed and sets every
    /// value in one change of the store: one write of the hive, however
    /// many values. Nothing is stored when every value is already so.
    RegStatus SetValues(Hive hive, std::string_view path,
                        const std::vector<std::pair<std::string, RegValue>>& values) const;
    /// Removes a key with its sub-keys and values.
    RegStatus DeleteKey(Hive hive, std::string_view path) const;
    bool KeyExists(Hive hive, std::string_view path) const;
    /// Names of the direct sub-keys (the last path part, as spelled).
    std::vector<std::string> SubKeys(Hive hive, std::string_view path) const;
    bool Writable(Hive hive) const { return m_store->Writable(hive); }

    const std::shared_ptr<RegistryStore>& Store() const { return m_store; }

    /// The registry the program runs on; set once at start-up (tests set their own).
    static void SetDefault(std::shared_ptr<Registry> registry);
    /// The default registry; null until set.
    static std::shared_ptr<Registry> Default();

    /// Normalises a key path: '/' accepted as '\', repeated and outer
    /// separators dropped. Empty result for an empty path.
    static std::string NormalizePath(std::string_view path);

private:
    std::shared_ptr<RegistryStore> m_store;
};

/// An open key. Each query reads the store's current content; each change is
/// one atomic Modify of the store.
class RegKey {
public:
    RegKey() = default;
    bool IsOpen() const { return m_store != nullptr; }
    void Close() { m_store.reset(); }
    const std::string& Path() const { return m_path; }
    Hive GetHive() const { return m_hive; }
    RegAccess Access() const { return m_access; }

    RegStatus QueryValue(std::string_view name, RegValue& out) const;
    /// Reads a text. `maxBytes` (0: no limit) counts the terminator, so a text
    /// of maxBytes or more bytes answers MoreData and leaves `out` alone.
    RegStatus QueryString(std::string_view name, std::string& out, size_t maxBytes = 0) const;
    RegStatus QueryDword(std::string_view name, std::uint32_t& out) const;
    RegStatus QueryBinary(std::string_view name, std::vector<std::uint8_t>& out) const;
    bool HasValue(std::string_view name) const;
    std::vector<std::string> ValueNames() const;

    RegStatus SetValue(std::string_view name, const RegValue& value);
    RegStatus SetString(std::string_view name, std::string_view text) { return SetValue(name, RegValue::Sz(std::string(text))); }
    RegStatus SetDword(std::string_view name, std::uint32_t value) { return SetValue(name, RegValue::Dword(value)); }
    RegStatus SetBinary(std::string_view name, std::vector<std::uint8_t> bytes) { return SetValue(name, RegValue::Binary(std::move(bytes))); }
    RegStatus DeleteValue(std::string_view name);

private:
    friend class Registry;
    std::shared_ptr<RegistryStore> m_store;
    Hive m_hive = Hive::CurrentUser;
    std::string m_path;
    RegAccess m_access = RegAccess::Read;
};

/// The hive's name in the text format ("HKEY_LOCAL_MACHINE", ...).
std::string_view HiveName(Hive hive);

/// Text form of a hive ("REGEDIT4" header, "[HIVE\key]" sections,
/// "name"=value lines: "text", dword:xxxxxxxx, hex:aa,bb; @ for the default),
/// with the lines kept from the file in their places.
std::string FormatHive(Hive hive, const HiveData& data);
/// Parses the text form; never fails on any input. Lines it does not
/// understand are kept in HiveData (and counted in `skippedLines`), also
/// sections of another hive. A dword of fewer than eight digits is read.
HiveData ParseHive(Hive hive, std::string_view text, int* skippedLines = nullptr);
/// True when the text is a hive file ("REGEDIT4" first, no NUL bytes) or
/// empty. A file that is not is kept aside before it is ever replaced.
bool LooksLikeHive(std::string_view text);

} // namespace lyb
