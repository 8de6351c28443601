#include "app/remote_study.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cmath>

#include "app/handset.h"
#include "ui/remote_control.h"

namespace kestrelio {
namespace {

QJsonValue StudyJson(const Handset& handset) {
  const HandsetStudy* study = handset.study();
  const StudyFiles* files = handset.study_files();
  if (study == nullptr || files == nullptr) return QJsonValue();
  QJsonArray names;
  for (const std::string& name : study->Files()) names.append(QString::fromStdString(name));
  // Records the study folder has not taken yet (they are retried), and how many tries
  // found it unwritable.
  return QJsonObject{{"folder", QString::fromStdString(study->folder())},
                     {"files", names},
                     {"pending_records", static_cast<qint64>(files->PendingRecords())},
                     {"failed_writes", static_cast<qint64>(files->FailedWrites())}};
}

QJsonValue TriggersJson(const Handset& handset) {
  QJsonArray raised;
  if (const HandsetStudy* study = handset.study()) {
    for (bool set : study->RaisedTriggers()) raised.append(set);
  }
  return raised;
}

RemoteControl::Reply Error(const char* text) { return {QJsonValue(), QString::fromUtf8(text)}; }

}  // namespace

void AddStudyRemote(RemoteControl& remote, Handset& handset) {
  remote.AddStateProvider("study", [&handset] { return StudyJson(handset); });
  remote.AddStateProvider("survey_triggers", [&handset] { return TriggersJson(handset); });

  remote.AddCommand("survey-trigger", [&handset](const QJsonArray& args) {
    HandsetStudy* study = handset.study();
    if (args.size() != 1 || !args[0].isDouble()) return Error("usage: [\"survey-trigger\", 0-9]");
    const double index = args[0].toDouble();
    if (study == nullptr) return Error("the study has not started");
    if (index != std::floor(index) || index < 0 || index > 9 ||
        !study->SignalTrigger(static_cast<int>(index))) {
      return Error("survey trigger index must be 0-9");
    }
    return RemoteControl::Reply{};
  });

  remote.AddAsyncCommand(
      "upload-now",
      [&handset](const QJsonArray& args,
                 RemoteControl::ReplyLater later) -> std::optional<RemoteControl::Reply> {
        if (!args.isEmpty()) return Error("usage: [\"upload-now\"]");
        HandsetStudy* study = handset.study();
        if (study == nullptr) return Error("the study has not started");
        const bool started = study->UploadNow([later](const std::array<bool, 4>& sent) {
          later(RemoteControl::Reply{QJsonObject{{"survey_results", sent[0]},
                                                 {"call_log", sent[1]},
                                                 {"battery_log", sent[2]},
                                                 {"ip_log", sent[3]}},
                                     {}});
        });
        if (!started) return Error("an upload is running already, or the study has stopped");
        return std::nullopt;
      });
}

}  // namespace kestrelio
