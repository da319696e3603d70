#include "platform/registry.h"

#include <algorithm>
#include <cstdio>

namespace lyb {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

size_t HiveIndex(Hive hive) { return static_cast<size_t>(hive); }

std::mutex g_defaultMutex;
std::shared_ptr<Registry> g_default;

// Adds the key and every missing parent; answers whether the key itself was new.
bool EnsureKey(HiveData& data, const std::string& path) {
    bool created = false;
    size_t pos = 0;
    while (true) {
        size_t sep = path.find('\\', pos);
        std::string prefix = path.substr(0, sep);
        auto it = data.keys.find(prefix);
        if (it == data.keys.end()) {
            data.keys.emplace(prefix, RegKeyData{prefix, {}, {}});
            if (sep == std::string::npos)
                created = true;
        }
        if (sep == std::string::npos)
            break;
        pos = sep + 1;
    }
    return created;
}

} // namespace

bool RegNameLess::operator()(std::string_view a, std::string_view b) const noexcept {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(Lower(a[i]));
        const auto cb = static_cast<unsigned char>(Lower(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

// A value set or deleted by the program replaces any line naming it.
static void DropForeign(RegKeyData& key, std::string_view valueName) {
    std::erase_if(key.foreign, [&](const RegForeignLine& l) {
        return l.namesValue && EqualNoCase(l.valueName, valueName);
    });
}

bool HiveData::operator==(const HiveData& o) const {
    if (keys.size() != o.keys.size() || leading != o.leading || otherSections != o.otherSections)
        return false;
    auto a = keys.begin();
    auto b = o.keys.begin();
    for (; a != keys.end(); ++a, ++b) {
        if (!EqualNoCase(a->first, b->first) || a->second.values.size() != b->second.values.size() ||
            a->second.foreign != b->second.foreign)
            return false;
        auto va = a->second.values.begin();
        auto vb = b->second.values.begin();
        for (; va != a->second.values.end(); ++va, ++vb)
            if (!EqualNoCase(va->first, vb->first) || !(va->second == vb->second))
                return false;
    }
    return true;
}

// ---- in-memory store -------------------------------------------------------

RegStatus MemoryRegistryStore::Read(Hive hive, HiveData& out) {
    std::lock_guard<std::mutex> lock(m_mutex);
    out = m_hives[HiveIndex(hive)];
    return RegStatus::Ok;
}

RegStatus MemoryRegistryStore::Modify(Hive hive, const std::function<bool(HiveData&)>& change) {
    std::lock_guard<std::mutex> lock(m_mutex);
    HiveData copy = m_hives[HiveIndex(hive)];
    if (change(copy))
        m_hives[HiveIndex(hive)] = std::move(copy);
    return RegStatus::Ok;
}

bool MemoryRegistryStore::Writable(Hive hive) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writable[HiveIndex(hive)];
}

void MemoryRegistryStore::SetWritable(Hive hive, bool writable) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writable[HiveIndex(hive)] = writable;
}

// ---- registry ----------------------------------------------------------------

Registry::Registry(std::shared_ptr<RegistryStore> store) : m_store(std::move(store)) {}

void Registry::SetDefault(std::shared_ptr<Registry> registry) {
    std::lock_guard<std::mutex> lock(g_defaultMutex);
    g_default = std::move(registry);
}

std::shared_ptr<Registry> Registry::Default() {
    std::lock_guard<std::mutex> lock(g_defaultMutex);
    return g_default;
}

std::string Registry::NormalizePath(std::string_view path) {
    std::string out;
    bool pendingSep = false;
    for (char c : path) {
        if (static_cast<unsigned char>(c) < 0x20)
            return {}; // control characters never name a key
        if (c == '\\' || c == '/') {
            pendingSep = !out.empty();
            continue;
        }
        if (pendingSep) {
            out.push_back('\\');
            pendingSep = false;
        }
        out.push_back(c);
    }
    return out;
}

RegStatus Registry::OpenKey(Hive hive, std::string_view path, RegAccess access, RegKey& out) const {
    out.Close();
    const std::string norm = NormalizePath(path);
    if (norm.empty())
        return RegStatus::BadName;
    if (access != RegAccess::Read && !m_store->Writable(hive))
        return RegStatus::AccessDenied;
    HiveData data;
    if (RegStatus s = m_store->Read(hive, data); s != RegStatus::Ok)
        return s;
    auto it = data.keys.find(norm);
    if (it == data.keys.end())
        return RegStatus::NotFound;
    out.m_store = m_store;
    out.m_hive = hive;
    out.m_path = it->second.name;
    out.m_access = access;
    return RegStatus::Ok;
}

RegStatus Registry::CreateKey(Hive hive, std::string_view path, RegAccess access, RegKey& out,
                              bool* created) const {
    out.Close();
    if (created)
        *created = false;
    const std::string norm = NormalizePath(path);
    if (norm.empty())
        return RegStatus::BadName;
    if (!m_store->Writable(hive))
        return RegStatus::AccessDenied;
    bool isNew = false;
    std::string spelled = norm;
    RegStatus s = m_store->Modify(hive, [&](HiveData& data) {
        isNew = EnsureKey(data, norm);
        spelled = data.keys.find(norm)->second.name;
        return isNew;
    });
    if (s != RegStatus::Ok)
        return s;
    if (created)
        *created = isNew;
    out.m_store = m_store;
    out.m_hive = hive;
    out.m_path = spelled;
    out.m_access = access;
    return RegStatus::Ok;
}

RegStatus Registry::SetValues(Hive hive, std::string_view path,
                              const std::vector<std::pair<std::string, RegValue>>& values) const {
    const std::string norm = NormalizePath(path);
    if (norm.empty())
        return RegStatus::BadName;
    for (const auto& [name, value] : values)
        if (name.find_first_of("\r\n") != std::string::npos)
            return RegStatus::BadName;
    if (!m_store->Writable(hive))
        return RegStatus::AccessDenied;
    return m_store->Modify(hive, [&](HiveData& data) {
        bool changed = EnsureKey(data, norm);
        RegKeyData& key = data.keys.find(norm)->second;
        for (const auto& [name, value] : values) {
            auto it = key.values.find(name);
            if (it != key.values.end() && it->second == value)
                continue;
            DropForeign(key, name);
            key.values[name] = value;
            changed = true;
        }
        return changed;
    });
}

RegStatus Registry::DeleteKey(Hive hive, std::string_view path) const {
    const std::string norm = NormalizePath(path);
    if (norm.empty())
        return RegStatus::BadName;
    if (!m_store->Writable(hive))
        return RegStatus::AccessDenied;
    bool found = false;
    RegStatus s = m_store->Modify(hive, [&](HiveData& data) {
        found = false;
        for (auto it = data.keys.begin(); it != data.keys.end();) {
            const std::string& k = it->first;
            if (EqualNoCase(k, norm) ||
                (k.size() > norm.size() && k[norm.size()] == '\\' &&
                 EqualNoCase(std::string_view(k).substr(0, norm.size()), norm))) {
                it = data.keys.erase(it);
                found = true;
            } else {
                ++it;
            }
        }
        return found;
    });
    if (s != RegStatus::Ok)
        return s;
    return found ? RegStatus::Ok : RegStatus::NotFound;
}

bool Registry::KeyExists(Hive hive, std::string_view path) const {
    RegKey key;
    return OpenKey(hive, path, RegAccess::Read, key) == RegStatus::Ok;
}

std::vector<std::string> Registry::SubKeys(Hive hive, std::string_view path) const {
    std::vector<std::string> out;
    const std::string norm = NormalizePath(path);
    HiveData data;
    if (m_store->Read(hive, data) != RegStatus::Ok)
        return out;
    for (const auto& [k, key] : data.keys) {
        std::string_view rest;
        if (norm.empty()) {
            rest = k;
        } else if (k.size() > norm.size() + 1 && k[norm.size()] == '\\' &&
                   EqualNoCase(std::string_view(k).substr(0, norm.size()), norm)) {
            rest = std::string_view(key.name).substr(norm.size() + 1);
        } else {
            continue;
        }
        if (rest.find('\\') == std::string_view::npos)
            out.emplace_back(rest);
    }
    return out;
}

// ---- keys --------------------------------------------------------------------

RegStatus RegKey::QueryValue(std::string_view name, RegValue& out) const {
    if (!m_store)
        return RegStatus::NotOpen;
    HiveData data;
    if (RegStatus s = m_store->Read(m_hive, data); s != RegStatus::Ok)
        return s;
    auto k = data.keys.find(m_path);
    if (k == data.keys.end())
        return RegStatus::NotFound;
    auto v = k->second.values.find(name);
    if (v == k->second.values.end())
        return RegStatus::NotFound;
    out = v->second;
    return RegStatus::Ok;
}

RegStatus RegKey::QueryString(std::string_view name, std::string& out, size_t maxBytes) const {
    RegValue v;
    if (RegStatus s = QueryValue(name, v); s != RegStatus::Ok)
        return s;
    if (v.type != RegType::Sz)
        return RegStatus::WrongType;
    if (maxBytes != 0 && v.text.size() + 1 > maxBytes)
        return RegStatus::MoreData;
    out = std::move(v.text);
    return RegStatus::Ok;
}

RegStatus RegKey::QueryDword(std::string_view name, std::uint32_t& out) const {
    RegValue v;
    if (RegStatus s = QueryValue(name, v); s != RegStatus::Ok)
        return s;
    if (v.type != RegType::Dword)
        return RegStatus::WrongType;
    out = v.dword;
    return RegStatus::Ok;
}

RegStatus RegKey::QueryBinary(std::string_view name, std::vector<std::uint8_t>& out) const {
    RegValue v;
    if (RegStatus s = QueryValue(name, v); s != RegStatus::Ok)
        return s;
    if (v.type != RegType::Binary)
        return RegStatus::WrongType;
    out = std::move(v.binary);
    return RegStatus::Ok;
}

bool RegKey::HasValue(std::string_view name) const {
    RegValue v;
    return QueryValue(name, v) == RegStatus::Ok;
}

std::vector<std::string> RegKey::ValueNames() const {
    std::vector<std::string> out;
    if (!m_store)
        return out;
    HiveData data;
    if (m_store->Read(m_hive, data) != RegStatus::Ok)
        return out;
    auto k = data.keys.find(m_path);
    if (k != data.keys.end())
        for (const auto& [n, v] : k->second.values)
            out.push_back(n);
    return out;
}

RegStatus RegKey::SetValue(std::string_view name, const RegValue& value) {
    if (!m_store)
        return RegStatus::NotOpen;
    if (m_access == RegAccess::Read || !m_store->Writable(m_hive))
        return RegStatus::AccessDenied;
    if (name.find('\n') != std::string_view::npos || name.find('\r') != std::string_view::npos)
        return RegStatus::BadName;
    const std::string path = m_path;
    const std::string valueName(name);
    return m_store->Modify(m_hive, [&](HiveData& data) {
        // A key removed meanwhile by another writer is recreated: the value
        // this writer stores must not vanish.
        EnsureKey(data, path);
        RegKeyData& key = data.keys.find(path)->second;
        auto it = key.values.find(valueName);
        if (it != key.values.end()) {
            if (it->second == value)
                return false;
            it->second = value;
        } else {
            key.values.emplace(valueName, value);
        }
        DropForeign(key, valueName);
        return true;
    });
}

RegStatus RegKey::DeleteValue(std::string_view name) {
    if (!m_store)
        return RegStatus::NotOpen;
    if (m_access == RegAccess::Read || !m_store->Writable(m_hive))
        return RegStatus::AccessDenied;
    bool found = false;
    const std::string path = m_path;
    RegStatus s = m_store->Modify(m_hive, [&](HiveData& data) {
        found = false;
        auto k = data.keys.find(path);
        if (k == data.keys.end())
            return false;
        found = k->second.values.erase(std::string(name)) > 0;
        const size_t foreign = k->second.foreign.size();
        DropForeign(k->second, name);
        return found || k->second.foreign.size() != foreign;
    });
    if (s != RegStatus::Ok)
        return s;
    return found ? RegStatus::Ok : RegStatus::NotFound;
}

// ---- text form -----------------------------------------------------------------

std::string_view HiveName(Hive hive) {
    switch (hive) {
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    }
    return "HKEY_CURRENT_USER";
}

namespace {

void AppendQuoted(std::string& out, std::string_view s) {
    out.push_back('"');
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(c));
                out += buf;
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string starting at s[i] == '"'; advances i past the closing quote.
bool ReadQuoted(std::string_view s, size_t& i, std::string& out) {
    if (i >= s.size() || s[i] != '"')
        return false;
    ++i;
    out.clear();
    while (i < s.size()) {
        char c = s[i++];
        if (c == '"')
            return true;
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (i >= s.size())
            return false;
        char e = s[i++];
        switch (e) {
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 'x': {
            if (i + 1 >= s.size() + 0 || i + 2 > s.size())
                return false;
            int hi = HexDigit(s[i]), lo = HexDigit(s[i + 1]);
            if (hi < 0 || lo < 0)
                return false;
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
            break;
        }
        default: out.push_back(e); break;
        }
    }
    return false;
}

bool ParseValue(std::string_view s, RegValue& v) {
    if (!s.empty() && s[0] == '"') {
        size_t i = 0;
        std::string text;
        if (!ReadQuoted(s, i, text) || i != s.size())
            return false;
        v = RegValue::Sz(std::move(text));
        return true;
    }
    constexpr std::string_view dw = "dword:";
    constexpr std::string_view hx = "hex:";
    // Exported hives always have eight digits; people writing by hand do not.
    if (s.size() > dw.size() && s.size() <= dw.size() + 8 && EqualNoCase(s.substr(0, dw.size()), dw)) {
        std::uint32_t d = 0;
        for (char c : s.substr(dw.size())) {
            int h = HexDigit(c);
            if (h < 0)
                return false;
            d = (d << 4) | static_cast<std::uint32_t>(h);
        }
        v = RegValue::Dword(d);
        return true;
    }
    if (s.size() >= hx.size() && EqualNoCase(s.substr(0, hx.size()), hx)) {
        std::vector<std::uint8_t> bytes;
        std::string_view rest = s.substr(hx.size());
        size_t i = 0;
        while (i < rest.size()) {
            if (i + 2 > rest.size())
                return false;
            int hi = HexDigit(rest[i]), lo = HexDigit(rest[i + 1]);
            if (hi < 0 || lo < 0)
                return false;
            bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
            i += 2;
            if (i < rest.size()) {
                if (rest[i] != ',')
                    return false;
                ++i;
                if (i == rest.size())
                    return false;
            }
        }
        v = RegValue::Binary(std::move(bytes));
        return true;
    }
    return false;
}

} // namespace

std::string FormatHive(Hive hive, const HiveData& data) {
    std::string out = "REGEDIT4\n";
    for (const std::string& line : data.leading)
        out += line + "\n";
    for (const auto& [path, key] : data.keys) {
        out += "\n[";
        out += HiveName(hive);
        out += '\\';
        out += key.name;
        out += "]\n";
        for (const auto& [name, v] : key.values) {
            if (name.empty())
                out += '@';
            else
                AppendQuoted(out, name);
            out += '=';
            switch (v.type) {
            case RegType::Sz: AppendQuoted(out, v.text); break;
            case RegType::Dword: {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(v.dword));
                out += buf;
                break;
            }
            case RegType::Binary: {
                out += "hex:";
                for (size_t i = 0; i < v.binary.size(); ++i) {
                    char buf[4];
                    std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", v.binary[i]);
                    out += buf;
                }
                break;
            }
            }
            out += '\n';
        }
        for (const RegForeignLine& line : key.foreign)
            out += line.text + "\n";
    }
    if (!data.otherSections.empty())
        out += "\n";
    for (const std::string& line : data.otherSections)
        out += line + "\n";
    return out;
}

bool LooksLikeHive(std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
        return false;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? text.size() - pos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        return line == "REGEDIT4";
    }
    return true; // empty
}

HiveData ParseHive(Hive hive, std::string_view text, int* skippedLines) {
    HiveData data;
    int skipped = 0;
    RegKeyData* current = nullptr;
    bool inOtherSection = false;
    bool headerSeen = false;
    const std::string_view hiveName = HiveName(hive);
    size_t pos = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        pos = 3;
    // A line not understood is kept where it belongs: in its key's section,
    // before the first section, or with a section of another hive.
    auto keep = [&](std::string_view line) {
        ++skipped;
        if (inOtherSection) {
            data.otherSections.emplace_back(line);
        } else if (current) {
            RegForeignLine foreign;
            foreign.text = std::string(line);
            size_t i = 0;
            std::string name;
            if (!line.empty() && line[0] == '@') {
                foreign.namesValue = line.size() > 1 && line[1] == '=';
            } else if (ReadQuoted(line, i, name) && i < line.size() && line[i] == '=') {
                foreign.namesValue = true;
                foreign.valueName = std::move(name);
            }
            current->foreign.push_back(std::move(foreign));
        } else {
            data.leading.emplace_back(line);
        }
    };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? text.size() - pos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        // Every carriage return before the line end goes: a kept line must
        // read the same after it has been written back with one line end.
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line == "REGEDIT4" && !headerSeen && !current && !inOtherSection) {
            headerSeen = true;
            continue;
        }
        if (line[0] == '[') {
            current = nullptr;
            inOtherSection = false;
            std::string path;
            if (line.back() == ']') {
                std::string_view full = line.substr(1, line.size() - 2);
                if (full.size() > hiveName.size() + 1 && full[hiveName.size()] == '\\' &&
                    EqualNoCase(full.substr(0, hiveName.size()), hiveName))
                    path = Registry::NormalizePath(full.substr(hiveName.size() + 1));
            }
            if (path.empty()) {
                inOtherSection = true;
                keep(line);
                continue;
            }
            EnsureKey(data, path);
            current = &data.keys.find(path)->second;
            continue;
        }
        if (!current || inOtherSection) {
            keep(line);
            continue;
        }
        std::string name;
        size_t i = 0;
        if (line[0] == '@') {
            i = 1;
        } else if (!ReadQuoted(line, i, name)) {
            keep(line);
            continue;
        }
        RegValue v;
        if (i >= line.size() || line[i] != '=' || !ParseValue(line.substr(i + 1), v)) {
            keep(line);
            continue;
        }
        DropForeign(*current, name); // the later line wins, as the value does
        current->values[name] = std::move(v);
    }
    if (skippedLines)
        *skippedLines = skipped;
    return data;
}

} // namespace lyb
