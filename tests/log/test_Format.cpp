#include <gtest/gtest.h>

#include "fw/uSysUtils.h"
#include "log/DebugLogUtils.h"

using namespace vt;

TEST(Format, PlaceholdersAndWidths) {
  struct Case {
    std::wstring expected, actual;
  } cases[] = {
      {L"a=x", Format(L"a=%s", {L"x"})},
      {L"-42|42", Format(L"%d|%u", {-42, 42u})},
      {L"FF|80092009", Format(L"%x|%x", {255, static_cast<int32_t>(0x80092009)})},
      {L"0000ABCD", Format(L"%p", {reinterpret_cast<const void*>(0xABCD)})},
      {L"00000000", Format(L"%p", {nullptr})},
      {L"12    |", Format(L"%-6d|", {12})},
      {L"    12|", Format(L"%6d|", {12})},
      {L"1234567|", Format(L"%-6d|", {1234567})},
      {L"   ", Format(L"%3s", {L" "})},
      {L"07:05", Format(L"%.2d:%.2d", {7, 5})},
      {L"True False", Format(L"%s %s", {true, false})},
      {L"100%", Format(L"%d%%", {100})},
      {L"-9223372036854775808", Format(L"%d", {INT64_MIN})},
      {L"18446744073709551615", Format(L"%d", {UINT64_MAX})},
      {L"ab", Format(L"%.2s", {L"abc"})},
      {L"extra args ignored", Format(L"extra args ignored", {1, L"x"})},
      {L"utf8 \u00e4", Format(L"utf8 %s", {"\xc3\xa4"})},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.actual);
}

TEST(Format, ArgumentsThatDoNotFitRaise) {
  struct Case {
    const wchar_t* fmt;
    std::initializer_list<TFmtArg> args;
  } cases[] = {
      {L"%s", {42}},          {L"%d", {L"text"}},   {L"%x", {L"text"}}, {L"%p", {L"text"}},
      {L"%d", {true}},        {L"%s %s", {L"one"}}, {L"%s", {}},        {L"%", {1}},
      {L"%-", {1}},           {L"%q", {1}},         {L"%5", {1}},       {L"%99999d", {1}},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(Format(c.fmt, c.args), EConvertError) << std::string(c.fmt, c.fmt + wcslen(c.fmt));
  }
}
