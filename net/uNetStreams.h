// Output streams a transfer writes its body into, piece by piece.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fw/uWinHandles.h"

namespace vt {

class TIdWriteStream {
public:
  virtual ~TIdWriteStream() = default;
  // Writes all Count bytes or raises.
  virtual void Write(const void* Buffer, size_t Count) = 0;
};

// A file created (or overwritten) for writing; other processes may read it.
class TIdFileStream : public TIdWriteStream {
public:
  // Raises EOSError when the file cannot be created.
  explicit TIdFileStream(const std::wstring& FileName);
  void Write(const void* Buffer, size_t Count) override;
  // Closes the file; a later Write raises. Safe to call twice.
  void Close();
  uint64_t Written() const { return FWritten; }

private:
  std::wstring FFileName;
  THandle FHandle;
  uint64_t FWritten = 0;
};

}  // namespace vt
