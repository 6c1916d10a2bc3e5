// Variant conversions, automation dates and creation by programmatic identifier.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "platform/automation/AutomationDate.h"
#include "platform/automation/AutomationError.h"
#include "platform/automation/ObjectFactory.h"
#include "platform/automation/OutlookDispatch.h"
#include "platform/automation/Variant.h"

namespace {

uint32_t ErrorCodeOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const AutomationError& error) {
    return error.Code();
  }
  return 0;
}

}  // namespace

TEST(VariantTest, ConvertsBetweenNumbersTextAndBooleansAsAutomationDoes) {
  EXPECT_EQ(Variant("42").ToInt(), 42);
  EXPECT_EQ(Variant(" 7 ").ToInt(), 7);
  EXPECT_EQ(Variant(2.5).ToInt(), 2);  // half to even
  EXPECT_EQ(Variant(3.5).ToInt(), 4);
  EXPECT_EQ(Variant(true).ToInt(), -1);
  EXPECT_TRUE(Variant("True").ToBool());
  EXPECT_FALSE(Variant("0").ToBool());
  EXPECT_EQ(Variant(int32_t{12}).ToString(), "12");
  EXPECT_EQ(Variant().ToString(), "");
  EXPECT_EQ(Variant().ToInt(), 0);
}

TEST(VariantTest, ImpossibleConversionsRaiseTypeMismatchOrOverflow) {
  EXPECT_EQ(ErrorCodeOf([] { Variant("abc").ToInt(); }), AutomationCode::kTypeMismatch);
  EXPECT_EQ(ErrorCodeOf([] { Variant("12abc").ToDouble(); }), AutomationCode::kTypeMismatch);
  EXPECT_EQ(ErrorCodeOf([] { Variant::Missing().ToString(); }), AutomationCode::kTypeMismatch);
  EXPECT_EQ(ErrorCodeOf([] { Variant(int32_t{1}).ToDispatch(); }), AutomationCode::kTypeMismatch);
  EXPECT_EQ(ErrorCodeOf([] { Variant(1e12).ToInt(); }), AutomationCode::kOverflow);
}

TEST(VariantTest, MissingIsDistinctFromEmptyAndCarriesParamNotFound) {
  const Variant missing = Variant::Missing();
  EXPECT_TRUE(missing.IsMissing());
  EXPECT_FALSE(missing.IsEmpty());
  EXPECT_EQ(missing.ErrorCode(), AutomationCode::kParamNotFound);
  EXPECT_FALSE(missing == Variant());
  EXPECT_TRUE(Variant::Date(2.0) == Variant::Date(2.0));
  EXPECT_FALSE(Variant::Date(2.0) == Variant(2.0));
}

TEST(VariantTest, DateTextParsesAsLocalDateAndTime) {
  const double date = Variant("2024-03-01 10:15").ToDate();
  DateParts parts;
  ASSERT_TRUE(PartsFromDate(date, parts));
  EXPECT_EQ(parts.year, 2024);
  EXPECT_EQ(parts.month, 3);
  EXPECT_EQ(parts.day, 1);
  EXPECT_EQ(parts.hour, 10);
  EXPECT_EQ(parts.minute, 15);
  EXPECT_EQ(Variant::Date(date).ToString(), "2024-03-01 10:15:00");
  EXPECT_EQ(ErrorCodeOf([] { Variant("2024-13-01").ToDate(); }), AutomationCode::kTypeMismatch);
}

TEST(AutomationDateTest, DayNumbersMatchTheAutomationEpoch) {
  EXPECT_EQ(DaysFromCivil(1899, 12, 30), 0);
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 25569);
  EXPECT_EQ(DaysFromCivil(2023, 3, 15), 45000);
  DateParts parts;
  ASSERT_TRUE(PartsFromDate(45000.5, parts));
  EXPECT_EQ(parts.year, 2023);
  EXPECT_EQ(parts.hour, 12);
  EXPECT_EQ(WeekdayOf(45000.0), 3);  // a Wednesday
}

TEST(AutomationDateTest, NegativeDatesCountDaysBackwardWithPositiveTimeOfDay) {
  DateParts parts;
  ASSERT_TRUE(PartsFromDate(-1.25, parts));
  EXPECT_EQ(parts.day, 29);
  EXPECT_EQ(parts.hour, 6);
  parts = {1899, 12, 29, 6, 0, 0, 0};
  EXPECT_DOUBLE_EQ(DateFromParts(parts), -1.25);
}

TEST(AutomationDateTest, Year4501IsTheEmptyDate) {
  EXPECT_TRUE(IsNoDate(kNoDate));
  EXPECT_TRUE(IsNoDate(kNoDate + 0.5));
  EXPECT_FALSE(IsNoDate(45000.0));
  DateParts parts;
  EXPECT_FALSE(PartsFromDate(1e9, parts));
}

TEST(AutomationDateTest, LocalTimeRoundTripsThroughTheClock) {
  const time_t moment = 1700000000;
  EXPECT_EQ(TimeFromDate(DateFromTime(moment)), moment);
  const double now = DateNow();
  EXPECT_LT(std::abs(now - DateFromTime(time(nullptr))), 2.0 / 86400.0);
}

TEST(ObjectFactoryTest, CreatesRegisteredIdentifiersCaseInsensitively) {
  ObjectFactory factory;
  int created = 0;
  factory.Register("Demo.Object", [&]() -> Dispatch::Ptr {
    ++created;
    struct Empty : Dispatch {
      Variant Invoke(DispId, InvokeKind, const std::vector<Variant>&) override { return Variant(int32_t{5}); }
    };
    return std::make_shared<Empty>();
  });
  EXPECT_TRUE(factory.IsRegistered("demo.object"));
  EXPECT_EQ(factory.CreateObject("DEMO.OBJECT")->GetProperty(1).ToInt(), 5);
  EXPECT_EQ(created, 1);
}

TEST(ObjectFactoryTest, UnknownIdentifierFailsWithInvalidClassString) {
  ObjectFactory factory;
  try {
    factory.CreateObject("No.Such.Object");
    FAIL() << "expected an automation error";
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Code(), AutomationCode::kInvalidClassString);
    EXPECT_EQ(error.CodeText(), "Invalid class string");
  }
}

TEST(OutlookDispatchTest, CallsThroughAnEmptyWrapperFailInsteadOfCrashing) {
  const outlook::ContactItem contact;
  EXPECT_EQ(ErrorCodeOf([&] { contact.GetFileAs(); }), AutomationCode::kFail);
}
