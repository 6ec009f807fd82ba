#include "service_key.h"

namespace kvwin {

namespace {

// A value longer than this is no machine name; it is read cut short and refused as such.
constexpr ULONG kMaxValueChars = 64;

}  // namespace

bool ReadServiceString(PUNICODE_STRING key_path, const wchar_t *name, char *out, size_t size) {
  if (!size) return false;
  out[0] = '\0';
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, key_path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
  HANDLE key = nullptr;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return false;

  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, name);
  union {
    KEY_VALUE_PARTIAL_INFORMATION info;
    UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + kMaxValueChars * sizeof(WCHAR)];
  } value;
  ULONG length = 0;
  const NTSTATUS status =
      ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, &value, sizeof value, &length);
  ZwClose(key);
  // STATUS_BUFFER_OVERFLOW still fills in the type and as much of the data as fits.
  if (!NT_SUCCESS(status) && status != STATUS_BUFFER_OVERFLOW) return false;
  if (value.info.Type != REG_SZ && value.info.Type != REG_EXPAND_SZ) return false;

  const ULONG available = (sizeof value - offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data)) / sizeof(WCHAR);
  ULONG chars = value.info.DataLength / sizeof(WCHAR);
  if (chars > available) chars = available;
  const WCHAR *text = reinterpret_cast<const WCHAR *>(value.info.Data);
  size_t n = 0;
  for (ULONG i = 0; i < chars && text[i] && n + 1 < size; ++i) out[n++] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  out[n] = '\0';
  return true;
}

}  // namespace kvwin
