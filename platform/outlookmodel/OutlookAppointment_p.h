// Internal: appointments, their recurrence pattern, occurrences and exceptions.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/outlookmodel/OutlookItem_p.h"

class SystemTimeZone;

namespace outlookmodel {

// An appointment: a single one, the master of a recurring series, or one occurrence of a series.
// An occurrence shares the master object; saving or deleting it records an exception in the
// master and saves the master, so the change lands in one transaction with the series.
//
// Times: a timed appointment keeps its start and end as instants (UTC) and shows them in the
// machine's local time; an all-day one keeps its days as days of the calendar. Each appointment
// has a zone (StartTimeZone; the machine's zone when it is first saved without one): a timed
// series recurs on the days of that zone at the wall-clock time its start has there, so its
// occurrences keep that time across changes to and from daylight time, wherever the machine is.
// The pattern's days, start and end times are those of the zone.
class OutlookAppointment : public OutlookItem {
 public:
  // A stored or new appointment (master or single).
  OutlookAppointment(std::shared_ptr<ModelSession> session, ItemRecord record);
  // An occurrence of `master` first scheduled for `originalWall` (the wall clock of the series'
  // zone; a day for an all-day series), with its own copy of the properties.
  OutlookAppointment(std::shared_ptr<OutlookAppointment> master, double originalWall, ItemRecord record,
                     bool isException);

  // The series rule, made from the start (weekly on its weekday) when the appointment has none yet.
  RecurrenceData& EnsureRecurrence();
  bool AllDay();
  // Start and end in the machine's local time, and as instants.
  double Start();
  double End();
  double StartUtc();
  double EndUtc();
  // The start as the wall clock of the appointment's zone (a day for an all-day one).
  double StartWall();
  double EndWall();
  // Moves the start (keeping the duration) or the end, given in local time, as instants, or as the
  // wall clock of the zone.
  void SetStart(double start);
  void SetEnd(double end);
  void SetStartUtc(double start);
  void SetEndUtc(double end);
  void SetStartWall(double wall);
  // The zone's identifier (the master's, for an occurrence) and the zone itself.
  std::string ZoneId();
  const SystemTimeZone& Zone();
  // The local time of a wall-clock time of the series' zone (a day of an all-day series as it is).
  double LocalOfWall(double wall);
  // The occurrence of the series that was first scheduled on `date`'s local day (and, when
  // `date` has a time, at that local time). Throws as the store does when there is none or it
  // was deleted.
  Dispatch::Ptr GetOccurrence(double date);
  // The occurrence object for a recorded exception.
  Dispatch::Ptr OccurrenceOf(const ExceptionData& exception);

 protected:
  bool InvokeOwn(DispId id, InvokeKind kind, const std::vector<Variant>& args, Variant& result) override;
  Variant ReadStored(const PropertyDef& property) override;
  void WriteStored(const PropertyDef& property, const Variant& value) override;
  void Save() override;
  void Delete() override;
  void PrepareSave() override;
  std::string EntryId() override;
  double LastModificationTime() override;

 private:
  bool IsOccurrence() const { return mMaster != nullptr; }
  // The zone stored with the appointment; "" when it has none yet.
  std::string OwnZoneId() const;
  int32_t RecurrenceState() const;
  // Records the occurrence first scheduled for `originalWall` as changed (its properties) or
  // deleted, then saves.
  void CommitException(double originalWall, const PropertyMap& props, const InstantNames& instants,
                       const std::vector<RecipientData>& recipients, bool deleted);
  void NormalizeSeries();
  void MakeAllDay();
  void MakeTimed();
  // The wall-clock start of the series' occurrence on the zone's day `day`.
  double OccurrenceWall(double day);
  Dispatch::Ptr MakeOccurrence(double day, const ExceptionData* exception);

  std::shared_ptr<OutlookAppointment> mMaster;
  double mOriginalWall = 0;
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

// OriginalDate is shown in the machine's local time.
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
