// The registry settings store, each test under a scratch key of its own
// that is deleted afterwards.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/store_fs_registry_child.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_handles.h"

namespace ks {
namespace {

constexpr const wchar_t* kTestsKey = L"Software\\kestrascope-tests";

struct KeyDeleter {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = win32::UniqueHandle<HKEY, KeyDeleter>;
struct HandleDeleter {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = win32::UniqueHandle<HANDLE, HandleDeleter>;

// HKCU\Software\kestrascope-tests\<random>, gone when the test ends.
class ScratchKey {
 public:
  ScratchKey() {
    std::random_device random;
    root_ = std::wstring(kTestsKey) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(random());
  }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;
  ~ScratchKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kTestsKey);  // only when no other run is using it
  }
  const std::wstring& root() const { return root_; }
  bool exists() const {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, root_.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return false;
    RegCloseKey(raw);
    return true;
  }

 private:
  std::wstring root_;
};

std::wstring movieKey(const ScratchKey& scratch) {
  return scratch.root() + L"\\QVkestrascope\\Movie";
}

// Puts raw data in place the way another program could.
void setRaw(const ScratchKey& scratch, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  HKEY raw = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, movieKey(scratch).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &raw, nullptr),
            ERROR_SUCCESS);
  const UniqueKey key(raw);
  ASSERT_EQ(RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
}

// The value as the registry holds it: type, stored size and UTF-16 text.
struct RawValue {
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  std::wstring text;
};

RawValue rawValue(const ScratchKey& scratch, const wchar_t* name) {
  RawValue value;
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, movieKey(scratch).c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return value;
  const UniqueKey key(raw);
  if (RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &value.bytes) != ERROR_SUCCESS) return {};
  std::wstring data(value.bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
      ERROR_SUCCESS)
    return {};
  value.text = data.c_str();
  return value;
}

TEST(RegistryStore, AllFiveKeysRoundTripAsRegSzUnderTheApplicationKey) {
  ScratchKey scratch;
  {
    RegistrySettingsStore store(scratch.root());
    for (const StoredSetting& s : storedSettings())
      ASSERT_TRUE(SaveSetting(store, kAppName, kSection, s.key, s.value)) << s.key;
  }
  RegistrySettingsStore fresh(scratch.root());
  for (const StoredSetting& s : storedSettings()) {
    EXPECT_EQ(GetSetting(fresh, kAppName, kSection, s.key, "default"), s.value) << s.key;
    const RawValue raw = rawValue(scratch, win32::toWide(s.key)->c_str());
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ)) << s.key;
    EXPECT_EQ(win32::fromWide(raw.text), s.value) << s.key;
    // Exactly one terminating NUL, which other readers count on.
    EXPECT_EQ(raw.bytes, (raw.text.size() + 1) * sizeof(wchar_t)) << s.key;
  }
  // The non-ASCII folder, checked unit by unit in UTF-16.
  EXPECT_EQ(rawValue(scratch, L"folder").text, L"C:\\Users\\Zo\u00EB\\Vid\u00E9os\\\u6620\u753B \xD83D\xDE00");
}

TEST(RegistryStore, WritesReplaceAndGoStraightToTheRegistry) {
  ScratchKey scratch;
  RegistrySettingsStore store(scratch.root());
  const std::string longValue = [] {
    std::string text;
    const char* pieces[] = {"Zoë-", "映画-", "😀-", "plain-"};
    for (int i = 0; utf8ToUtf16(text)->size() < 10000; ++i) text += pieces[i % 4];
    return text;
  }();
  ASSERT_GE(utf8ToUtf16(longValue)->size(), 10000u);

  const std::vector<std::string> values = {"1", "60", longValue, "2", "", "True"};
  for (const std::string& value : values) {
    ASSERT_TRUE(store.write(kAppName, kSection, "fps", value));
    // Another program sees the value at once, before this store is gone.
    EXPECT_EQ(win32::fromWide(rawValue(scratch, L"fps").text), value);
    EXPECT_EQ(store.read(kAppName, kSection, "fps"), value);
  }
  // Stored empty is not absent.
  ASSERT_TRUE(store.write(kAppName, kSection, "Path", ""));
  EXPECT_EQ(GetSetting(store, kAppName, kSection, "Path", "default"), "");
}

TEST(RegistryStore, AbsentAndNonStringValuesReadAsAbsent) {
  ScratchKey scratch;
  RegistrySettingsStore store(scratch.root());
  EXPECT_EQ(store.read(kAppName, kSection, "folder"), std::nullopt) << "no key at all";
  EXPECT_FALSE(scratch.exists()) << "reading creates nothing";
  EXPECT_EQ(GetSetting(store, kAppName, kSection, "SysSetting", "True"), "True");

  ASSERT_TRUE(store.write(kAppName, kSection, "fps", "30"));
  EXPECT_EQ(store.read(kAppName, kSection, "UserSetting"), std::nullopt) << "key there, value not";
  EXPECT_EQ(store.read(kAppName, "Other", "fps"), std::nullopt);
  EXPECT_EQ(store.read("Other", kSection, "fps"), std::nullopt);

  const DWORD number = 30;
  setRaw(scratch, L"dword", REG_DWORD, &number, sizeof number);
  setRaw(scratch, L"binary", REG_BINARY, "30", 2);
  const wchar_t multi[] = L"30\0" L"60\0";
  setRaw(scratch, L"multi", REG_MULTI_SZ, multi, sizeof multi);
  for (const char* key : {"dword", "binary", "multi"})
    EXPECT_EQ(store.read(kAppName, kSection, key), std::nullopt) << key;
}

TEST(RegistryStore, ReadsStringsStoredWithoutTheirNulOrWithAnOddSize) {
  ScratchKey scratch;
  RegistrySettingsStore store(scratch.root());
  // The registry adds a NUL the caller left out when one follows the data
  // in memory; the "X" after the counted text keeps it from doing so.
  const std::wstring text = L"D:\\Movies\\\u6620\u753BX";
  const DWORD textBytes = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
  setRaw(scratch, L"noNul", REG_SZ, text.c_str(), textBytes);
  setRaw(scratch, L"odd", REG_SZ, text.c_str(), textBytes + 1);
  ASSERT_EQ(rawValue(scratch, L"noNul").bytes, textBytes) << "stored without its NUL";
  const wchar_t twoNuls[] = L"30\0\0";
  setRaw(scratch, L"twoNuls", REG_SZ, twoNuls, sizeof twoNuls);
  setRaw(scratch, L"expand", REG_EXPAND_SZ, L"%TEMP%", 7 * sizeof(wchar_t));
  setRaw(scratch, L"empty", REG_SZ, L"", 0);

  EXPECT_EQ(store.read(kAppName, kSection, "noNul"), "D:\\Movies\\映画");
  EXPECT_EQ(store.read(kAppName, kSection, "odd"), "D:\\Movies\\映画");
  EXPECT_EQ(store.read(kAppName, kSection, "twoNuls"), "30");
  EXPECT_EQ(store.read(kAppName, kSection, "expand"), "%TEMP%") << "as written, not expanded";
  EXPECT_EQ(store.read(kAppName, kSection, "empty"), "");
}

TEST(RegistryStore, RefusesWhatCannotBeStoredFaithfully) {
  ScratchKey scratch;
  RegistrySettingsStore store(scratch.root());
  EXPECT_FALSE(store.write(kAppName, kSection, "fps", std::string("3\0" "0", 3)));
  EXPECT_FALSE(store.write(kAppName, kSection, "fps", "\xFF"));
  EXPECT_FALSE(store.write(kAppName, kSection, "", "30"));
  EXPECT_FALSE(store.write(kAppName, "Movie\\..\\Other", "fps", "30"));
  EXPECT_FALSE(store.write("", kSection, "fps", "30"));
  EXPECT_FALSE(scratch.exists()) << "a refused write creates no key";
}

// Writes in this process, reads in a fresh one, and reads back what that one
// wrote: nothing lives only in memory.
TEST(RegistryStore, SurvivesARestartOfTheProgram) {
  ScratchKey scratch;
  {
    RegistrySettingsStore store(scratch.root());
    for (const StoredSetting& s : storedSettings()) ASSERT_TRUE(store.write(kAppName, kSection, s.key, s.value));
  }

  wchar_t self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring command = L"\"" + std::wstring(self) + L"\" " + win32::toWide(kRegistryChildFlag).value() + L"=" +
                         scratch.root();
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16));
  const UniqueHandle output(readEnd);
  UniqueHandle childOutput(writeEnd);
  SetHandleInformation(output.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = childOutput.get();
  startup.hStdError = childOutput.get();
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
  const UniqueHandle child(process.hProcess);
  const UniqueHandle childThread(process.hThread);
  childOutput.reset();  // the pipe ends when the child's copy closes

  std::string said;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(output.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) said.append(buffer, got);
  ASSERT_EQ(WaitForSingleObject(child.get(), 60000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  ASSERT_TRUE(GetExitCodeProcess(child.get(), &exitCode));
  EXPECT_EQ(exitCode, 0u) << "the fresh process read:\n" << said;

  RegistrySettingsStore store(scratch.root());
  EXPECT_EQ(store.read(kAppName, kSection, "fps"), kRegistryChildReply);
}

}  // namespace
}  // namespace ks
