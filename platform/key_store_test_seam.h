#pragma once

// For tests and the fuzzer only; no product code includes this. What they must check inside the
// key store, where no caller could see it.

#include <cstddef>

#include "platform/key_store.h"
#include "platform/key_store_parser.h"

namespace kelvor {

class KeyStoreTestSeam {
 public:
  // Keys opened and not yet closed: a reader leaves none open on any way out, errors included.
  static std::size_t OpenKeyCount(const KeyStore& store) { return store.m_open.size(); }

  // Keys a parse filed: each costs a header line of its own, which bounds the parser's memory.
  static std::size_t KeyCount(const KeyStoreData& data) { return data.m_keys.size(); }
};

}  // namespace kelvor
