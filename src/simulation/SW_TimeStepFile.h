// The time-step file: the state of one simulation at one output time, written at every output
// of a run and read back to view, export or continue from it.
//
// A gzip record stream (AK_STREAM) holding, in this order:
//   "SW_Simulation::TimeStep:v0"                       file tag
//   "SW_Simulation:v1", f64 CurrentTime, f64 PeakKineticEnergy   header record
//   main block: tag + record of "particles" (the flags), "particles:Position",
//     "particles:Velocity", "particles:Mass", then of each result field of the main block
//     (SW_ResultFields, in table order)
//   "SW_Simulation::TimeStep:end"
//   enthalpy block (older files lack it): tag + record of "particles:TotalEnthalpy", then of
//     each result field of the enthalpy block
//   "SW_Simulation_Enthalpy::TimeStep:end"
// The main block also takes the records of fields no longer written (SW_TimeStepBlock::ReadOnly).
// The records themselves are those of the particle set, its point set and the fields; this
// file knows only their tags and order, and reaches them through SW_TimeStepRecords.
//
// A file is written under a temporary name and takes its place only when every byte reached
// it, so a reader never sees half a file. A reader reads into temporary storage and the
// simulation takes the values only once the whole file was read: a failed load leaves the
// simulation as it was.
#pragma once

#include "AK_Basic.h"
#include "SW_TimeStepNames.h"

// The simulation values a time-step file holds besides its records.
struct SW_TimeStepHeader {
  double currentTime = 0;
  double peakKineticEnergy = 0;
  bool hasPeakKineticEnergy = true;  // false after reading a version 0 header
};

// The longest tag a reader accepts; a longer length is a corrupt file.
constexpr int32_t SW_TimeStepTagLimit = 255;

// What a time-step file holds of a simulation, record by record.
class SW_TimeStepRecords {
public:
  virtual ~SW_TimeStepRecords() = default;
  // Writes the record that follows `tag`; 0 when written, else 1.
  virtual int WriteRecord(const char* tag, AK_STREAM& stream) = 0;
  // Reads the record that follows `tag` (one of the written tags or a read-only one) into
  // temporary storage, never into the simulation; 0 when the whole record was read, else 1.
  virtual int ReadRecord(const char* tag, AK_STREAM& stream) = 0;
  // After the last record: true when what was read is a state the simulation can take (a
  // particle set read whole or not at all, arrays that agree with each other and the mesh).
  virtual bool Whole() const { return true; }
};

// The header record; 0 on success, else 1 and the error text objectPath + ": IO error at ...".
// A read header holds a time of 0 or more whose time-step file name fits a file name (255
// bytes); any other is a damaged header.
int SW_WriteTimeStepHeader(AK_STREAM& stream, const SW_TimeStepHeader& header, const char* objectPath);
int SW_ReadTimeStepHeader(AK_STREAM& stream, SW_TimeStepHeader& header, const char* objectPath);

// Writes the time-step file of `header.currentTime` into `directory`, with the progress
// messages; returns 0 when the file stands complete under its name. An empty directory writes
// nothing (1, and a message that says why: never into the current directory). Failures leave
// the error text objectPath + " cannot open " + path or objectPath + " cannot save timestep
// data", followed by ": " and the system's message when the system refused the file ("No
// space left on device", "Permission denied", "File too large"); a previous file of that name
// then stays as it was.
[[nodiscard]] int SW_SaveTimeStepFile(const char* directory, const SW_TimeStepHeader& header,
                        SW_TimeStepRecords& records, const char* objectPath);

// How a load ended.
enum class SW_TimeStepLoadResult {
  Loaded,     // the whole file was read: commit the header and the records read
  NotOpened,  // no such file: the message "INFO:cannot open " + path, nothing else
  Failed,     // the error text objectPath + " cannot load timestep data": commit nothing
  NotATimeStep,  // the file tag is missing or of another version: the error text
                 // objectPath + " cannot load basic data", commit nothing
};

// Reads the time-step file `name` (without directory and extension) of `directory` into
// `header` and, through `records`, into temporary storage. A file that ends after the main
// block's end tag, between records of the enthalpy block, is whole. A tag the reader does not
// know is skipped as a tag only. A header time that is negative, not finite or too large for
// a file name, and records that are not whole (SW_TimeStepRecords::Whole), make the file
// damaged: Failed.
SW_TimeStepLoadResult SW_LoadTimeStepFile(const char* directory, const char* name,
                                          SW_TimeStepHeader& header, SW_TimeStepRecords& records,
                                          const char* objectPath);
// The same on an open stream (the reading steps alone, without messages).
SW_TimeStepLoadResult SW_ReadTimeStepStream(AK_STREAM& stream, SW_TimeStepHeader& header,
                                            SW_TimeStepRecords& records, const char* objectPath);
