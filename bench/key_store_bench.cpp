// Milliseconds to parse a key store of the largest size the reader accepts, in the shapes that
// cost a parser the most per byte: a store is read afresh by every System Info click, on the
// window's thread, so none of them may take noticeably long.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/key_store_parser.h"

namespace {

using kelvor::kMaxStoreBytes;

// Appends numbered copies of a line made by `make` while the text stays within the size limit.
template <typename Make>
std::string FillTo(std::string text, std::size_t limit, Make make) {
  for (std::size_t n = 0;; ++n) {
    const std::string line = make(n);
    if (text.size() + line.size() > limit) return text;
    text += line;
  }
}

std::string DeepPath(std::size_t bytes) {
  std::string path = "HKEY_LOCAL_MACHINE";
  while (path.size() + 2 <= bytes) path += "\\k";
  return path;
}

// One key path of half the store, deep as it can be, and as many value lines as fit under it.
std::string LongKeyPath() {
  const std::string head = "REGEDIT4\n[" + DeepPath(kMaxStoreBytes / 2) + "]\n";
  return FillTo(head, kMaxStoreBytes,
                [](std::size_t n) { return n % 2 == 0 ? std::string("@=\"\"\n") : "@=-\n"; });
}

// One short key with as many distinct values as fit.
std::string ManyValues() {
  return FillTo("REGEDIT4\n[HKEY_CURRENT_USER\\S]\n", kMaxStoreBytes, [](std::size_t n) {
    return "\"v" + std::to_string(n) + "\"=dword:" + std::to_string(n % 100000000) + "\n";
  });
}

// As many keys as fit, each with one value.
std::string ManyKeys() {
  return FillTo("REGEDIT4\n", kMaxStoreBytes, [](std::size_t n) {
    return "[HKEY_CURRENT_USER\\k" + std::to_string(n) + "]\n@=\"\"\n";
  });
}

// One binary value continued over as many short lines as fit.
std::string LongContinuedHex() {
  std::string text = FillTo("REGEDIT4\n[HKEY_CURRENT_USER\\S]\n\"B\"=hex:0,\\\n",
                            kMaxStoreBytes - 3, [](std::size_t) { return std::string("0,\\\n"); });
  return text + "0\n";
}

// Keys below one long common parent, declared and deleted in turns: each deletion header scans
// for the keys below it, and every few keys the whole parent goes.
std::string DeepPathsWithDeletions() {
  const std::string parent = DeepPath(2048);
  return FillTo("REGEDIT4\n", kMaxStoreBytes, [&parent](std::size_t n) {
    std::string lines = "[" + parent + "\\k" + std::to_string(n) + "]\n@=\"\"\n";
    if (n % 3 == 2) lines += "[-" + parent + "\\k" + std::to_string(n - 1) + "]\n";
    if (n % 64 == 63) lines += "[-" + parent + "]\n";
    return lines;
  });
}

std::string Utf16Le(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

// The long key path in a UTF-16 file: half the characters for the same bytes, and a
// conversion of the whole file first.
std::string Utf16LongKeyPath() {
  const std::size_t chars = (kMaxStoreBytes - 2) / 2;
  const std::string head =
      "Windows Registry Editor Version 5.00\r\n[" + DeepPath(chars / 2) + "]\r\n";
  return Utf16Le(FillTo(head, chars, [](std::size_t n) {
    return n % 2 == 0 ? std::string("@=\"\"\r\n") : "@=-\r\n";
  }));
}

// A string value of a version 5 file: UTF-16 hex data continued over lines, converted to UTF-8.
std::string Utf16HexString() {
  std::string text = FillTo(
      "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\S]\r\n\"S\"=hex(1):e9,00,\\\r\n",
      kMaxStoreBytes - 8, [](std::size_t) { return std::string("  e9,00,ac,20,\\\r\n"); });
  return text + "  00,00\r\n";
}

void BM_ParseKeyStore(benchmark::State& state, std::string (*make)()) {
  const std::string store = make();
  if (store.size() > kMaxStoreBytes || !kelvor::ParseKeyStore(store)) {
    state.SkipWithError("the store is not usable");
    return;
  }
  for (auto _ : state) {
    auto parsed = kelvor::ParseKeyStore(store);
    benchmark::DoNotOptimize(parsed);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * store.size()));
  state.counters["store_bytes"] = static_cast<double>(store.size());
}

BENCHMARK_CAPTURE(BM_ParseKeyStore, long_key_path, &LongKeyPath)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseKeyStore, many_values, &ManyValues)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseKeyStore, many_keys, &ManyKeys)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseKeyStore, long_continued_hex, &LongContinuedHex)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseKeyStore, deep_paths_with_deletions, &DeepPathsWithDeletions)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseKeyStore, utf16_long_key_path, &Utf16LongKeyPath)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseKeyStore, utf16_hex_string, &Utf16HexString)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
