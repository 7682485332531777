#pragma once

#include "tests/fake_services.h"

// The test services with a fast alarm: the clock advances a quarter second at every reading, so a
// simulated second of free fall passes after four silent beeps instead of a real second.
class StormServices : public FakeServices {
 public:
  double MonotonicSeconds() override { return m_clock += 0.25; }
  void Beep() override { ++m_beeps; }
  long Beeps() const { return m_beeps; }

 private:
  double m_clock = 0;
  long m_beeps = 0;
};
