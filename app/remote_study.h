// The field study's part of the remote control:
//   get-state "study": {folder, files (names in the study folder), pending_records,
//                       failed_writes}; "survey_triggers": the ten raised flags
//   ["upload-now"]: the four hourly uploads now; replies when they are done with
//                   {"survey_results", "call_log", "battery_log", "ip_log"}: bool each
//   ["survey-trigger", i]: raises survey trigger i (0-9)
#pragma once

namespace kestrelio {

class Handset;
class RemoteControl;

void AddStudyRemote(RemoteControl& remote, Handset& handset);

}  // namespace kestrelio
