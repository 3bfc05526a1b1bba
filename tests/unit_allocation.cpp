// Training allocates per growth check at most, never per cycle: a map trained for thousands of cycles allocates a
// handful of times. Counted by standing in for the C library's allocator in this test program (not under the
// address or thread sanitizer, which bring their own).

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <cstddef>

#include "test_support.h"

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* p, size_t size);

namespace {
bool counting = false;
long allocations = 0;
}  // namespace

extern "C" void* malloc(size_t size) {
  allocations += counting;
  return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
  allocations += counting;
  return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, size_t size) {
  allocations += counting;
  return __libc_realloc(p, size);
}

namespace {

// Allocations while a first-layer map over 200 vectors trains to its first growth check (5,000 cycles) and stops.
long allocationsOfOnePeriod(bool printMQE) {
  testsupport::resetGlobals(6);
  Globals::MAX_CYCLES = 1;
  Globals::printMQE = printMQE;
  Globals::TAU_2 = 1e30f;  // no child maps: only the training itself is counted
  Globals::savePath = strdup(testsupport::tempDir().c_str());
  for (int k = 0; k < 200; k++) {
    Globals::dataItems->addElement(testsupport::item("v", {k % 7 * 1.0f, k % 5 * 1.0f, 1, 2, k * 0.01f, 0}));
  }
  Globals::hfm = new NeuronLayer(nullptr, Globals::dataItems, 0.0f, 0, 1, 1, 0, 0, nullptr, nullptr, nullptr, nullptr);
  Globals::hfm->getNeuron(0, 0)->addMap(Globals::dataItems, 1e-9f, 1, 2, 2, 0, 0);
  Globals::addLayer(0, Globals::hfm);
  Globals::addLayer(1, Globals::getFirstLayerMap());
  Globals::team();  // the run's threads start once, before any map trains
  testing::internal::CaptureStdout();
  allocations = 0;
  counting = true;
  Globals::getFirstLayerMap()->train();
  counting = false;
  testing::internal::GetCapturedStdout();
  return allocations;
}

TEST(Allocation, TrainingCyclesAllocateNothing) {
  EXPECT_LT(allocationsOfOnePeriod(false), 40);
  // With the error trace every cycle measures the map: the units' lists are emptied and refilled in place.
  EXPECT_LT(allocationsOfOnePeriod(true), 60);
}

}  // namespace

#endif
