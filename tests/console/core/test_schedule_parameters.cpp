// The per-schedule parameter values as one "name=value&..." text: every name must read back its
// own value through the library's first-occurrence lookup, whatever order the file holds them in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console/core/schedule_parameters.h"

namespace corvane {
namespace {

TEST(ScheduleParameters, LookUpReadsTheFirstOccurrenceAsTheLibraryDoes) {
  EXPECT_EQ(LookUpParameterValue("a=1&b=2", "b"), "2");
  EXPECT_EQ(LookUpParameterValue("a=&b=2", "a"), "");
  EXPECT_EQ(LookUpParameterValue("xa=5&a=1", "a"), "5");  // found inside "xa="
  EXPECT_EQ(LookUpParameterValue("a=x=1", "a"), "x=1");
  EXPECT_EQ(LookUpParameterValue("a=1", "b"), std::nullopt);
}

// Every name reads its own value back from the joined text, in whichever order the pairs came.
void ExpectEachReadsItsOwn(std::vector<ParameterPair> pairs) {
  std::sort(pairs.begin(), pairs.end());
  do {
    const std::optional<std::string> joined = JoinParameterValues(pairs);
    ASSERT_TRUE(joined.has_value());
    for (const auto& [name, value] : pairs) {
      EXPECT_EQ(LookUpParameterValue(*joined, name), value) << "name " << name << " in " << *joined;
    }
  } while (std::next_permutation(pairs.begin(), pairs.end()));
}

TEST(ScheduleParameters, EveryNameReadsItsOwnValueInAnyInputOrder) {
  const std::vector<std::vector<ParameterPair>> cases = {
      {},
      {{"who", "sched"}},
      {{"a", "1"}, {"xa", "5"}},                           // a name that ends another
      {{"a", "1"}, {"xa", "5"}, {"yxa", "7"}, {"b", ""}},  // a chain of endings, an empty value
      {{"", "e"}, {"a", "1"}},                             // the empty name ends every name
      {{"a", "b=2"}, {"b", "3"}},                          // a's value holds "b="
      {{"opt", "--level=3"}, {"level", "4"}, {"l", "x=y"}},
      {{"x&y", "1"}, {"y", "2"}},  // a name holding "&"
  };
  for (const auto& pairs : cases) ExpectEachReadsItsOwn(pairs);
  EXPECT_EQ(JoinParameterValues({{"xa", "5"}, {"a", "1"}}), "a=1&xa=5");
  EXPECT_EQ(JoinParameterValues({}), "");
}

TEST(ScheduleParameters, WhatThePairFormCannotCarryIsRefused) {
  EXPECT_EQ(ParameterValueProblem("x&y"), kValueHasAmpersand);
  EXPECT_EQ(ParameterValueProblem("x=y"), std::nullopt);
  EXPECT_EQ(JoinParameterValues({{"a", "x&y"}}), std::nullopt);
  // Each value holds the other's name followed by "=": whichever goes first shadows the other.
  EXPECT_EQ(JoinParameterValues({{"a", "b=1"}, {"b", "a=2"}}), std::nullopt);
}

// A variable without a value of its own that the text would hand another name's value keeps the
// job's value through a pair of its own; one the text does not reach is left out.
TEST(ScheduleParameters, ShadowedVariablesKeepTheJobsValue) {
  EXPECT_EQ(ScheduledRunParameterValues({{"xa", "5"}}, {{"a", "job-a"}, {"b", "job-b"}, {"xa", "job-xa"}}),
            "a=job-a&xa=5");
  EXPECT_EQ(ScheduledRunParameterValues({{"who", "sched"}}, {{"a", "job-a"}}), "who=sched");
  EXPECT_EQ(ScheduledRunParameterValues({}, {{"a", "job-a"}}), "");
  // An added value reaches further: a's own value holds "b=".
  const auto chained = ScheduledRunParameterValues({{"xa", "5"}}, {{"a", "qb=2"}, {"b", "3"}});
  ASSERT_TRUE(chained.has_value());
  EXPECT_EQ(LookUpParameterValue(*chained, "xa"), "5");
  EXPECT_EQ(LookUpParameterValue(*chained, "a"), "qb=2");
  EXPECT_EQ(LookUpParameterValue(*chained, "b"), "3");
  // The job's own value of the shadowed variable cannot be carried.
  EXPECT_EQ(ScheduledRunParameterValues({{"xa", "5"}}, {{"a", "x&y"}}), std::nullopt);
}

}  // namespace
}  // namespace corvane
