#include "FakeClock.h"

namespace taviro::test {

FakeClock::FakeClock(QDateTime start) : m_now(std::move(start)) {}

} // namespace taviro::test
