// Internal: appointments, their recurrence pattern, occurrences and exceptions.
#pragma once

#include <memory>
#include <optional>

#include "platform/outlookmodel/OutlookItem_p.h"

namespace outlookmodel {

// An appointment: a single one, the master of a recurring series, or one occurrence of a series.
// An occurrence shares the master object; saving or deleting it records an exception in the
// master and saves the master, so the change lands in one transaction with the series.
class OutlookAppointment : public OutlookItem {
 public:
  // A stored or new appointment (master or single).
  OutlookAppointment(std::shared_ptr<ModelSession> session, ItemRecord record);
  // An occurrence of `master` scheduled for `originalDate`, with its own copy of the properties.
  OutlookAppointment(std::shared_ptr<OutlookAppointment> master, double originalDate, ItemRecord record,
                     bool isException);

  // The series rule, made from Start (weekly on its weekday) when the appointment has none yet.
  RecurrenceData& EnsureRecurrence();
  const std::optional<RecurrenceData>& Recurrence() const { return mRecord.recurrence; }
  double Start();
  double End();
  // Moves Start (keeping the duration) or End.
  void SetStart(double start);
  void SetEnd(double end);
  // The occurrence of the series on `date`'s day (a time, when given, must be the series' start
  // time). Throws as the store does when that day has no occurrence or it was deleted.
  Dispatch::Ptr GetOccurrence(double date);
  // The occurrence object for a recorded exception.
  Dispatch::Ptr OccurrenceOf(const ExceptionData& exception);

 protected:
  bool InvokeOwn(DispId id, InvokeKind kind, const std::vector<Variant>& args, Variant& result) override;
  void WriteStored(const PropertyDef& property, const Variant& value) override;
  void Save() override;
  void Delete() override;
  void PrepareSave() override;
  std::string EntryId() override;
  double LastModificationTime() override;

 private:
  bool IsOccurrence() const { return mMaster != nullptr; }
  int32_t RecurrenceState() const;
  // Records the occurrence of `originalDate` as changed (its properties) or deleted, then saves.
  void CommitException(double originalDate, const PropertyMap& props, const std::vector<RecipientData>& recipients,
                       bool deleted);
  void NormalizeSeries();
  void NormalizeAllDay();
  Dispatch::Ptr MakeOccurrence(double day, const ExceptionData* exception);

  std::shared_ptr<OutlookAppointment> mMaster;
  double mOriginalDate = 0;
  bool mIsException = false;
};

// The recurrence pattern of a master appointment; every member reads or changes the master.
class OutlookPattern : public Dispatch {
 public:
  explicit OutlookPattern(std::shared_ptr<OutlookAppointment> master) : mMaster(std::move(master)) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  Variant Get(DispId id, const std::vector<Variant>& args);
  void Put(DispId id, const Variant& value);

  std::shared_ptr<OutlookAppointment> mMaster;
};

// The exceptions of a series as they were when the collection was taken, by original date.
class OutlookExceptions : public Dispatch {
 public:
  explicit OutlookExceptions(std::shared_ptr<OutlookAppointment> master);
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  std::shared_ptr<OutlookAppointment> mMaster;
  std::vector<ExceptionData> mExceptions;
};

class OutlookExceptionEntry : public Dispatch {
 public:
  OutlookExceptionEntry(std::shared_ptr<OutlookAppointment> master, ExceptionData exception)
      : mMaster(std::move(master)), mException(std::move(exception)) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  std::shared_ptr<OutlookAppointment> mMaster;
  ExceptionData mException;
};

}  // namespace outlookmodel
