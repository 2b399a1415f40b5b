#include "preview/RgdFormat.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sga {
namespace {

std::string trim(std::string_view text) {
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) return {};
    const size_t end = text.find_last_not_of(" \t\r");
    return std::string(text.substr(begin, end - begin + 1));
}

void collectStrings(const std::vector<RgdEntry>& entries, RgdDictionary& dictionary) {
    for (const RgdEntry& e : entries) {
        if (e.value.type == uint32_t(RgdType::String) && !e.value.text.empty())
            dictionary.add(rgdHash(e.value.text), e.value.text);
        collectStrings(e.value.entries, dictionary);
    }
}

// The shortest text that reads back as the same float, always with a
// decimal point or an exponent.
std::string floatText(float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    std::string out(text, result.ptr);
    if (out.find_first_of(".e") == std::string::npos) out += ".0";
    return out;
}

std::string luaQuoted(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\%03u", c);   // Lua's decimal escape
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// A leaf value in Lua (lua) or in the text lines.
std::string leafText(const RgdValue& v, bool lua) {
    switch (static_cast<RgdType>(v.type)) {
    case RgdType::Float:
        if (std::isnan(v.number)) return lua ? "(0/0)" : "nan";
        if (std::isinf(v.number)) return std::string(v.number < 0 ? "-" : "") + (lua ? "math.huge" : "inf");
        return floatText(v.number);
    case RgdType::Integer: return std::to_string(v.integer);
    case RgdType::Boolean: return v.boolean ? "true" : "false";
    case RgdType::String:
    case RgdType::WideString: return lua ? luaQuoted(v.text) : nlohmann::json(v.text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    case RgdType::NoData: return lua ? "nil -- no data" : "(no data)";
    default: return lua ? "nil -- unknown type " + std::to_string(v.type) : "(unknown type " + std::to_string(v.type) + ")";
    }
}

struct Writer {
    const RgdFile& file;
    const RgdDictionary& dictionary;

    void lua(const std::vector<RgdEntry>& entries, bool list, const std::string& path, std::string& out) const {
        for (const RgdEntry& e : entries) {
            const std::string key = rgdKeyName(file, dictionary, e.key, list);
            const bool number = list && e.key < 65536;
            const std::string here = path + "[" + (number ? key : luaQuoted(key)) + "]";
            if (e.value.isTable()) {
                out += here + " = {}\n";
                lua(e.value.entries, e.value.type == uint32_t(RgdType::List), here, out);
            } else {
                out += here + " = " + leafText(e.value, true) + "\n";
            }
        }
    }

    void text(const std::vector<RgdEntry>& entries, bool list, const std::string& path, std::string& out) const {
        for (const RgdEntry& e : entries) {
            const std::string here = (path.empty() ? "" : path + ".") + rgdKeyName(file, dictionary, e.key, list);
            if (e.value.isTable()) {
                if (e.value.entries.empty()) out += here + " = {}\n";
                text(e.value.entries, e.value.type == uint32_t(RgdType::List), here, out);
            } else {
                out += here + " = " + leafText(e.value, false) + "\n";
            }
        }
    }

    nlohmann::ordered_json json(const std::vector<RgdEntry>& entries, bool list) const {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (const RgdEntry& e : entries) {
            const std::string key = rgdKeyName(file, dictionary, e.key, list);
            const RgdValue& v = e.value;
            switch (static_cast<RgdType>(v.type)) {
            case RgdType::Float:
                if (std::isfinite(v.number)) object[key] = std::strtod(floatText(v.number).c_str(), nullptr);
                else object[key] = nullptr;
                break;
            case RgdType::Integer: object[key] = v.integer; break;
            case RgdType::Boolean: object[key] = v.boolean; break;
            case RgdType::String:
            case RgdType::WideString: object[key] = v.text; break;
            case RgdType::Table:
            case RgdType::List: object[key] = json(v.entries, v.type == uint32_t(RgdType::List)); break;
            case RgdType::NoData: object[key] = nullptr; break;
            default: object[key] = {{"unknown type", v.type}}; break;
            }
        }
        return object;
    }
};

} // namespace

Status RgdDictionary::addText(std::string_view text, const std::string& source) {
    std::unordered_map<uint64_t, std::string> found;
    std::istringstream lines{std::string(text)};
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (number == 1) {
            if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
            if (trim(line).rfind("#RGD_DIC", 0) != 0)
                return Status::error(ErrorCode::BadField, source + ": line 1 is not \"#RGD_DIC\"");
            continue;
        }
        const std::string content = trim(std::string_view(line).substr(0, line.find('#')));
        if (content.empty()) continue;
        const size_t equals = content.find('=');
        const std::string hex = trim(std::string_view(content).substr(0, equals));
        uint64_t hash = 0;
        const bool prefixed = hex.size() > 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X');
        const char* digits = hex.data() + (prefixed ? 2 : 0);
        const auto parsed = std::from_chars(digits, hex.data() + hex.size(), hash, 16);
        if (equals == std::string::npos || !prefixed || hex.size() > 18 || parsed.ec != std::errc() ||
            parsed.ptr != hex.data() + hex.size())
            return Status::error(ErrorCode::BadField,
                                 source + ": line " + std::to_string(number) + " is not \"0xHHHHHHHH=name\"");
        found.emplace(hash, trim(std::string_view(content).substr(equals + 1)));
    }
    if (number == 0) return Status::error(ErrorCode::BadField, source + ": empty, not a \"#RGD_DIC\" dictionary");
    for (auto& [hash, name] : found) add(hash, std::move(name));
    return {};
}

Status RgdDictionary::addFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Status::error(ErrorCode::CannotOpen, path.string() + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return addText(text.str(), path.string());
}

void RgdDictionary::add(uint64_t hash, std::string name) { names_.emplace(hash, std::move(name)); }

void RgdDictionary::learnFrom(const RgdFile& file) {
    if (!file.secondGeneration) collectStrings(file.entries, *this);
}

const std::string* RgdDictionary::find(uint64_t key) const {
    const auto it = names_.find(key);
    return it == names_.end() ? nullptr : &it->second;
}

std::vector<std::string> addDictionaryFolder(RgdDictionary& dictionary, const std::filesystem::path& folder) {
    std::vector<std::string> failures;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return failures;
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec))
        if (item.is_regular_file(ec)) files.push_back(item.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files)
        if (Status s = dictionary.addFile(file); !s) failures.push_back(s.message());
    return failures;
}

std::filesystem::path defaultDictionaryFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return std::filesystem::path(data) / "sga" / "dictionaries";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "") / ".local" / "share" / "sga" / "dictionaries";
}

std::string rgdKeyName(const RgdFile& file, const RgdDictionary& dictionary, uint64_t key, bool inList) {
    if (inList && key < 65536) return std::to_string(key);
    char hex[24];
    if (file.secondGeneration) {
        if (const auto it = file.keyNames.find(key); it != file.keyNames.end()) return it->second;
        std::snprintf(hex, sizeof hex, "0x%016llX", static_cast<unsigned long long>(key));
        return hex;
    }
    if (const std::string* name = dictionary.find(key)) return *name;
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(key));
    return hex;
}

std::string rgdTypeName(uint32_t type) {
    switch (static_cast<RgdType>(type)) {
    case RgdType::Float: return "float";
    case RgdType::Integer: return "integer";
    case RgdType::Boolean: return "boolean";
    case RgdType::String: return "string";
    case RgdType::WideString: return "wide string";
    case RgdType::Table: return "table";
    case RgdType::List: return "list";
    case RgdType::NoData: return "no data";
    }
    return "type " + std::to_string(type);
}

std::string rgdValueText(const RgdValue& value) { return value.isTable() ? std::string() : leafText(value, false); }

std::string formatRgd(const RgdFile& file, const RgdDictionary& dictionary, RgdOutput output) {
    const Writer writer{file, dictionary};
    std::string out;
    switch (output) {
    case RgdOutput::Lua:
        out = "GameData = {}\n";
        writer.lua(file.entries, false, "GameData", out);
        break;
    case RgdOutput::Text: writer.text(file.entries, false, "", out); break;
    case RgdOutput::Json:
        out = writer.json(file.entries, false).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
        break;
    }
    return out;
}

} // namespace sga
