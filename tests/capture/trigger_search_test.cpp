#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

namespace tqla {
namespace {

class TriggerSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    words_.assign(200, 0);
    words_[10] = 1;
    words_[20] = 2;
    test::UseHostBuffer(words_, 200);
  }
  void TearDown() override { SetCurrentBuffer(nullptr, 0, 0); }
  std::vector<uint32_t> words_;
  uint8_t steps_[4] = {1, 1, 2, 2};
};

TEST_F(TriggerSearch, FirstAndLastOccurrenceOfATwoStepSequence) {
  EXPECT_EQ(SearchForTrigger(steps_, 2, 0, 1), 21);
  EXPECT_EQ(SearchForTrigger(steps_, 2, 100, 0), 21);
}

TEST_F(TriggerSearch, LastOccurrenceFindsTheLatestOfSeveral) {
  words_[50] = 1;
  words_[60] = 2;
  words_[150] = 1;  // an incomplete third sequence does not count
  EXPECT_EQ(SearchForTrigger(steps_, 2, 200, 0), 61);
  // The word at position - 1 is never examined.
  EXPECT_EQ(SearchForTrigger(steps_, 2, 61, 0), 21);
  EXPECT_EQ(SearchForTrigger(steps_, 2, 62, 0), 61);
}

TEST_F(TriggerSearch, ForwardEdgeCases) {
  EXPECT_EQ(SearchForTrigger(steps_, 0, 37, 1), 37);       // no steps: position unchanged
  EXPECT_EQ(SearchForTrigger(steps_, 2, 11, 1), -1);       // step 1 never met again
  EXPECT_EQ(SearchForTrigger(steps_, 2, 500, 1), 500);     // past the end every step is passed over
  uint8_t highBits[2] = {0xFF, 0x00};                      // only bits 0-7 take part
  words_[0] = 0xFF00;
  EXPECT_EQ(SearchForTrigger(highBits, 1, 0, 1), 1);
}

TEST_F(TriggerSearch, LastOccurrenceEdgeCases) {
  EXPECT_EQ(SearchForTrigger(steps_, 0, 100, 0), -1);      // no steps: nothing to find, no endless loop
  EXPECT_EQ(SearchForTrigger(steps_, 2, 21, 0), -1);       // word 20 is position - 1
  EXPECT_EQ(SearchForTrigger(steps_, 2, 0xFFFFFFFFu, 0), 21);  // reads stop at the buffer end
  EXPECT_EQ(SearchForTrigger(nullptr, 2, 100, 0), -1);
}

TEST(TriggerSearchEmpty, EmptyBufferFindsNothing) {
  std::vector<uint32_t> none;
  SetCurrentBuffer(nullptr, 0, 0);
  uint8_t steps[2] = {0, 0};
  EXPECT_EQ(SearchForTrigger(steps, 1, 0, 1), 0);  // passed over: position stays
  EXPECT_EQ(SearchForTrigger(steps, 1, 10, 0), -1);
}

}  // namespace
}  // namespace tqla
