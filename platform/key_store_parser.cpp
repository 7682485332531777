#include "platform/key_store_parser.h"

#include <array>
#include <utility>

namespace kelvor {

namespace {

constexpr std::string_view kHeaderVersion5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderRegedit4 = "REGEDIT4";
constexpr std::array<std::string_view, 5> kRootKeys = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                                       "HKEY_CLASSES_ROOT", "HKEY_USERS",
                                                       "HKEY_CURRENT_CONFIG"};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (UpperAscii(s[i]) != UpperAscii(prefix[i])) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 1 to 8 hex digits and nothing else, as a 32-bit number.
std::optional<std::uint32_t> ParseHex32(std::string_view s) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : s) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Version 5.00 files written by the registry editor are UTF-16LE, and so is the hex data of their
// string values; the 8-bit reader hands both out converted. Odd lengths and unpaired surrogates
// are refused rather than guessed at.
std::optional<std::string> Utf16LeToUtf8(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    std::uint32_t unit =
        static_cast<unsigned char>(bytes[i]) |
        (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (unit >= 0xDC00 && unit <= 0xDFFF) return std::nullopt;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return std::nullopt;
      const std::uint32_t low =
          static_cast<unsigned char>(bytes[i + 2]) |
          (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    AppendUtf8(out, unit);
  }
  return out;
}

// Splits text into physical lines (LF or CR LF), with one line of look-ahead for the
// continuation lines of hex values.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : m_text(text) {}

  bool Peek(std::string_view& line) const {
    if (m_pos >= m_text.size()) return false;
    std::size_t end = m_text.find('\n', m_pos);
    if (end == std::string_view::npos) end = m_text.size();
    line = m_text.substr(m_pos, end - m_pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }

  bool Next(std::string_view& line) {
    if (!Peek(line)) return false;
    const std::size_t end = m_text.find('\n', m_pos);
    m_pos = (end == std::string_view::npos) ? m_text.size() : end + 1;
    return true;
  }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
};

// A quoted name or string starting at text[pos] == '"', with the two escapes the export format
// uses (\\ and \"). Leaves pos after the closing quote. An unterminated string or any other
// escape is malformed.
std::optional<std::string> ParseQuoted(std::string_view text, std::size_t& pos) {
  if (pos >= text.size() || text[pos] != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = pos + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      pos = i + 1;
      return out;
    }
    if (c == '\\') {
      if (i + 1 >= text.size()) return std::nullopt;
      const char next = text[i + 1];
      if (next != '\\' && next != '"') return std::nullopt;
      out += next;
      ++i;
      continue;
    }
    if (c == '\0') return std::nullopt;
    out += c;
  }
  return std::nullopt;
}

// A continuation line of a hex value holds only byte digits, commas, blanks and perhaps the
// next trailing backslash. Anything else is a line of its own, never swallowed into a value.
bool IsHexContinuation(std::string_view line) {
  const std::string_view body = Trim(line);
  if (body.empty()) return false;
  for (char c : body) {
    if (HexDigit(c) < 0 && c != ',' && c != '\\' && !IsBlank(c)) return false;
  }
  return true;
}

// "00,1f, a0" -> bytes. An empty list is a value without data.
std::optional<std::string> ParseByteList(std::string_view list) {
  std::string out;
  list = Trim(list);
  if (list.empty()) return out;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = list.find(',', start);
    const std::string_view item = Trim(list.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (item.empty() || item.size() > 2) return std::nullopt;
    const std::optional<std::uint32_t> byte = ParseHex32(item);
    if (!byte) return std::nullopt;
    out += static_cast<char>(*byte);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

enum class LineKind { kValue, kDelete, kMalformed };

struct ValueLine {
  LineKind kind = LineKind::kMalformed;
  std::string name;
  StoredValue value;
};

// The data part of a hex value: "hex:" or "hex(N):" then the byte list, continued over the
// following physical lines while a line ends with a backslash.
ValueLine ParseHexData(std::string_view data, LineReader& reader, bool utf16Strings) {
  ValueLine result;
  std::uint32_t type = kRegBinary;
  std::size_t colon = 3;
  if (data.size() > 3 && data[3] == '(') {
    const std::size_t close = data.find(')', 4);
    if (close == std::string_view::npos) return result;
    const std::optional<std::uint32_t> code = ParseHex32(data.substr(4, close - 4));
    if (!code) return result;
    type = *code;
    colon = close + 1;
  }
  if (colon >= data.size() || data[colon] != ':') return result;

  std::string list(Trim(data.substr(colon + 1)));
  while (!list.empty() && list.back() == '\\') {
    list.pop_back();
    std::string_view next;
    if (!reader.Peek(next) || !IsHexContinuation(next)) return result;
    reader.Next(next);
    list += Trim(next);
  }
  std::optional<std::string> bytes = ParseByteList(list);
  if (!bytes) return result;
  if (utf16Strings && IsStringType(type)) {
    bytes = Utf16LeToUtf8(*bytes);
    if (!bytes) return result;
  }
  result.kind = LineKind::kValue;
  result.value.type = type;
  result.value.data = std::move(*bytes);
  return result;
}

ValueLine ParseValueLine(std::string_view line, LineReader& reader, bool utf16Strings) {
  ValueLine malformed;
  std::size_t pos = 0;
  std::string name;
  if (line.front() == '@') {
    pos = 1;
  } else {
    std::optional<std::string> quoted = ParseQuoted(line, pos);
    if (!quoted) return malformed;
    name = std::move(*quoted);
  }
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != '=') return malformed;
  const std::string_view data = Trim(line.substr(pos + 1));

  ValueLine result;
  if (data == "-") {
    result.kind = LineKind::kDelete;
  } else if (!data.empty() && data.front() == '"') {
    std::size_t end = 0;
    std::optional<std::string> text = ParseQuoted(data, end);
    if (!text || end != data.size()) return malformed;
    result.kind = LineKind::kValue;
    result.value.type = kRegSz;
    result.value.data = std::move(*text);
    result.value.data += '\0';  // stored with its terminator, as the editor imports it
  } else if (StartsWithNoCase(data, "dword:")) {
    const std::optional<std::uint32_t> number = ParseHex32(data.substr(6));
    if (!number) return malformed;
    result.kind = LineKind::kValue;
    result.value.type = kRegDword;
    for (int i = 0; i < 4; ++i) result.value.data += static_cast<char>((*number >> (8 * i)) & 0xFF);
  } else if (StartsWithNoCase(data, "hex")) {
    result = ParseHexData(data, reader, utf16Strings);
  } else {
    return malformed;
  }
  result.name = std::move(name);
  return result;
}

bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

}  // namespace

std::optional<std::string> NormaliseKeyPath(std::string_view keyPath) {
  const std::size_t firstSep = keyPath.find('\\');
  const std::string root = UpperAscii(keyPath.substr(0, firstSep));
  bool knownRoot = false;
  for (std::string_view candidate : kRootKeys) knownRoot = knownRoot || root == candidate;
  if (!knownRoot) return std::nullopt;
  if (firstSep != std::string_view::npos) {
    const std::string_view rest = keyPath.substr(firstSep + 1);
    if (rest.empty() || rest.front() == '\\' || rest.back() == '\\' ||
        rest.find("\\\\") != std::string_view::npos) {
      return std::nullopt;
    }
    for (char c : rest) {
      if (IsControl(c)) return std::nullopt;
    }
  }
  return UpperAscii(keyPath);
}

bool KeyStoreData::HasKey(std::string_view keyPath) const {
  const std::string key = UpperAscii(keyPath);
  if (m_keys.count(key) != 0) return true;
  const std::string below = key + '\\';
  const auto it = m_keys.lower_bound(below);
  return it != m_keys.end() && it->first.compare(0, below.size(), below) == 0;
}

const StoredValue* KeyStoreData::Find(std::string_view keyPath, std::string_view valueName) const {
  const auto key = m_keys.find(UpperAscii(keyPath));
  if (key == m_keys.end()) return nullptr;
  const auto value = key->second.find(UpperAscii(valueName));
  return value == key->second.end() ? nullptr : &value->second;
}

KeyStoreData::KeyValues& KeyStoreData::DeclareKey(std::string_view keyPath) {
  return m_keys[UpperAscii(keyPath)];
}

void KeyStoreData::SetValue(KeyValues& values, std::string_view valueName, StoredValue value) {
  values[UpperAscii(valueName)] = std::move(value);
}

void KeyStoreData::DeleteValue(KeyValues& values, std::string_view valueName) {
  values.erase(UpperAscii(valueName));
}

void KeyStoreData::DeleteKey(std::string_view keyPath) {
  const std::string key = UpperAscii(keyPath);
  m_keys.erase(key);
  const std::string below = key + '\\';
  auto it = m_keys.lower_bound(below);
  while (it != m_keys.end() && it->first.compare(0, below.size(), below) == 0) {
    it = m_keys.erase(it);
  }
}

std::optional<KeyStoreData> ParseKeyStore(std::string_view bytes) {
  if (bytes.size() > kMaxStoreBytes) return std::nullopt;

  std::string decoded;
  std::string_view text = bytes;
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    std::optional<std::string> utf8 = Utf16LeToUtf8(text.substr(2));
    if (!utf8) return std::nullopt;
    decoded = std::move(*utf8);
    text = decoded;
  } else if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
             static_cast<unsigned char>(text[1]) == 0xBB &&
             static_cast<unsigned char>(text[2]) == 0xBF) {
    text.remove_prefix(3);
  }

  LineReader reader(text);
  std::string_view line;
  if (!reader.Next(line)) return std::nullopt;
  line = Trim(line);
  bool utf16Strings = false;
  if (line == kHeaderVersion5) {
    utf16Strings = true;
  } else if (line != kHeaderRegedit4) {
    return std::nullopt;
  }

  KeyStoreData store;
  // The values of the key whose header the value lines follow; null while there is none (before
  // the first header, and after a deletion or a malformed header). Only a header deletes keys,
  // and every header resets it first, so it never outlives its key.
  KeyStoreData::KeyValues* currentKey = nullptr;
  while (reader.Next(line)) {
    line = Trim(line);
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      currentKey = nullptr;
      if (line.size() < 2 || line.back() != ']') continue;
      std::string_view name = line.substr(1, line.size() - 2);
      const bool deletion = !name.empty() && name.front() == '-';
      if (deletion) name.remove_prefix(1);
      const std::optional<std::string> key = NormaliseKeyPath(name);
      if (!key) continue;
      if (deletion) {
        store.DeleteKey(*key);
      } else {
        currentKey = &store.DeclareKey(*key);
      }
      continue;
    }

    if (line.front() != '"' && line.front() != '@') continue;
    ValueLine value = ParseValueLine(line, reader, utf16Strings);
    if (!currentKey || value.kind == LineKind::kMalformed) continue;
    if (value.kind == LineKind::kDelete) {
      KeyStoreData::DeleteValue(*currentKey, value.name);
    } else {
      KeyStoreData::SetValue(*currentKey, value.name, std::move(value.value));
    }
  }
  return store;
}

}  // namespace kelvor
