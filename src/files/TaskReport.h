#pragma once

// The task report (*.tr): one per task, listing each file started with its
// outcome and running time. The engine and the verifier call the per-file
// operations; the task driver opens, displays and closes it. Every operation
// does nothing while no report is open; only open and close write the file.

#include <cstdint>
#include <string>
#include <vector>

namespace karvo {

enum class TTaskKind { Certification, Verification };

// Lines of the Task Report page and, for each, the file it opens (or "").
extern std::vector<std::string> DisplayLines;
extern std::vector<std::string> DisplayPaths;

// Creates WorkFolder + "karvo-" + TaskID + ".tr" with its header and counters.
void TaskReportOpen(int32_t selected, TTaskKind kind);
bool TaskReportIsOpen();
void TaskReportBeginCandidate(int32_t position, const std::string& fileName);
void TaskReportBeginCertificate(int32_t position, const std::string& fileName);
// An empty name writes "no report".
void TaskReportSetReport(const std::string& fileName);
void TaskReportSetOutput(const std::string& fileName);
// status: engine 3 certified, 1/2/4 aborted, 5 failed; time in centiseconds.
void TaskReportEndCandidate(const std::string& message, int32_t status, int64_t time);
// status: verifier 1 valid, 2 aborted, 3 not valid.
void TaskReportEndCertificate(const std::string& message, int32_t status, int64_t time);
void TaskReportToDisplay();
void TaskReportClose();

}  // namespace karvo
