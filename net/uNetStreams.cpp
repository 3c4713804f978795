#include "net/uNetStreams.h"

#include "fw/uSysUtils.h"

namespace vt {

TIdFileStream::TIdFileStream(const std::wstring& FileName) : FFileName(FileName) {
  FHandle.Reset(CreateFileW(FileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!FHandle) {
    DWORD code = GetLastError();
    throw EOSError(Format(L"Cannot create file \"%s\". %s", {FileName, SysErrorMessage(code)}), code);
  }
}

void TIdFileStream::Write(const void* Buffer, size_t Count) {
  if (!FHandle) throw EOSError(Format(L"File \"%s\" is closed", {FFileName}), ERROR_INVALID_HANDLE);
  const char* p = static_cast<const char*>(Buffer);
  while (Count > 0) {
    DWORD chunk = Count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(Count);
    DWORD done = 0;
    if (!WriteFile(FHandle.Get(), p, chunk, &done, nullptr) || done == 0) {
      DWORD code = GetLastError();
      if (code == ERROR_SUCCESS) code = ERROR_WRITE_FAULT;
      throw EOSError(Format(L"Cannot write to file \"%s\". %s", {FFileName, SysErrorMessage(code)}), code);
    }
    p += done;
    Count -= done;
    FWritten += done;
  }
}

void TIdFileStream::Close() { FHandle.Reset(); }

}  // namespace vt
