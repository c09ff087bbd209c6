// The recovery journal of the main window's layout, and the question asked
// at start for journals that crashed or killed sessions left behind.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/KivoWindow.h"
#include "io/RecoverDialog.h"
#include "io/RecoveryJournal.h"

namespace {

// "YYYY-MM-DD HH:MM" in local time.
FXString minuteText(int64_t seconds) {
  time_t t = (time_t)seconds;
  struct tm local;
  char text[32] = "?";
  if (localtime_r(&t, &local)) strftime(text, sizeof(text), "%Y-%m-%d %H:%M", &local);
  return text;
}

}  // namespace

void KivoWindow::startRecoveryJournal() {
  std::string directory = journalDirectory();
  if (recoveryDisabled() || directory.empty()) return;
  journal = new RecoveryJournal(layout, directory);
  layout.setObserver(journal);
}

void KivoWindow::syncRecoveryJournal() {
  if (journal) journal->syncNow();
}

void KivoWindow::removeRecoveryJournal() {
  if (!journal) return;
  journal->discard();
  journal->flush();
}

// Ask, oldest first, for each journal whose process has ended; Yes replays
// it into the layout and ends the questions (the rest wait for the next
// start), No deletes it, Later keeps it. A journal that cannot be read is
// moved aside and reported.
bool KivoWindow::recoverAtStart(const FXString& commandLineFile) {
  if (recoveryDisabled()) return false;
  std::vector<std::string> problems;
  std::vector<FoundJournal> found = findOrphanJournals(journalDirectory(), problems);
  for (const std::string& problem : problems)
    FXMessageBox::error(this, MBOX_OK, "Error!", "%s", ("Recovery journal:\n" + problem).c_str());
  for (const FoundJournal& entry : found) {
    FXString file = entry.base.untitled ? FXString("untitled") : FXString(entry.base.path.c_str());
    FXString text = "Recover unsaved changes to " + file + " from " + minuteText(entry.modified) + "?";
    if (!baseUnchanged(entry.base))
      text += "\nThe file has changed since: the edits will be applied to its current content.";
    RecoverDialog::Answer answer = RecoverDialog(this, text).ask();
    if (answer == RecoverDialog::ANSWER_LATER) continue;
    if (answer == RecoverDialog::ANSWER_NO) {
      unlink(entry.path.c_str());
      continue;
    }
    ReplayResult result = replayJournal(entry.path, layout);
    if (!result.ok) {
      std::string aside = entry.path + ".unreadable";
      rename(entry.path.c_str(), aside.c_str());
      FXString message = "Recovery journal:\n" + FXString(entry.path.c_str()) + "\ncannot be read: " +
                         result.error.c_str() + ".\nMoved aside to:\n" + aside.c_str();
      FXMessageBox::error(this, MBOX_OK, "Error!", "%s", message.text());
      continue;
    }
    // The new session's journal holds the recovered edits before the old
    // one goes.
    if (journal) journal->flush();
    unlink(entry.path.c_str());
    canvas->update();
    onCmdShowAll(nullptr, 0, nullptr);
    FXString status = "Recovered unsaved changes to " + file;
    if (!commandLineFile.empty()) status += "; " + commandLineFile + " was not opened";
    setStatusMessage(status);
    if (!result.notApplied.empty()) {
      FXString list = "These edits no longer apply to " + file + " and were left out:";
      for (const std::string& what : result.notApplied) list += FXString("\n") + what.c_str();
      FXMessageBox::warning(this, MBOX_OK, "Warning!", "%s", list.text());
    }
    return true;
  }
  return false;
}
