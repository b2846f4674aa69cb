#pragma once
// The registry as the data sources are kept in it, read and written with the wide functions only:
// the narrow ones pass every text through the system's code page, where a Chinese user name in a
// path comes back as other bytes, or as question marks once written.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt::registry {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// An open key, closed when it goes.
class Key {
  public:
    Key() = default;
    ~Key();
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    // Opens `path` under `root`; false when it is not there or may not be opened so.
    bool Open(HKEY root, const std::wstring& path, REGSAM access = KEY_READ);
    // Opens `path`, making it and the keys above it where missing; the system's error code, or 0.
    LSTATUS Create(HKEY root, const std::wstring& path);
    HKEY Handle() const { return h_; }

  private:
    HKEY h_ = nullptr;
};

// One value as the registry holds it, to be put back exactly so.
struct StoredValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
// Every value of `key`, in the order the registry lists them.
std::vector<StoredValue> Values(HKEY key);

// The text value `name`; nullopt when there is none, or it holds no text.
std::optional<std::wstring> Text(HKEY key, const std::wstring& name);
// Writes `value` as the text value `name`; the system's error code, or 0.
LSTATUS SetText(HKEY key, const std::wstring& name, const std::wstring& value);
LSTATUS Put(HKEY key, const StoredValue& value);

// `text` with the environment's variables (%LOCALAPPDATA%) in it replaced by their values.
std::wstring Expanded(const std::wstring& text);

// The system's own words for an error code, in the language of the user's Windows.
std::string SystemMessage(LSTATUS code);

}  // namespace rt::registry
