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

// 5 s between retries of a journal that cannot be written: a full disk is
// seldom freed sooner, and each retry writes the whole journal anew.
const FXuint JOURNAL_RETRY_MS = 5000;

// "YYYY-MM-DD HH:MM" in local time.
FXString minuteText(int64_t seconds) {
  time_t t = (time_t)seconds;
  struct tm local;
  char text[32] = "?";
  if (localtime_r(&t, &local)) strftime(text, sizeof(text), "%Y-%m-%d %H:%M", &local);
  return text;
}

FXString paragraph(const FXString& text, const FXString& more) { return text.empty() ? more : text + "\n" + more; }

}  // namespace

void KivoWindow::startRecoveryJournal() {
  std::string directory = journalDirectory();
  if (recoveryDisabled() || directory.empty()) return;
  journal = new RecoveryJournal(layout, directory);
  layout.setObserver(journal);
  journalSignal = new FXGUISignal(getApp(), this, ID_JOURNAL_TIMER);
  journal->whenHealthChanges([this] { journalSignal->signal(); });
}

void KivoWindow::syncRecoveryJournal() {
  if (journal) journal->syncNow();
}

void KivoWindow::removeRecoveryJournal() {
  if (!journal) return;
  journal->discard();
  journal->flush();
}

// A change of the journal's health (SEL_IO_READ, from its writer thread)
// and, while it fails or has news not yet told, a tick every
// JOURNAL_RETRY_MS (SEL_TIMEOUT) that retries. The user is told of each
// change on the status line, and in a box the first time it fails, but
// never over another modal box: a later tick tells then.
long KivoWindow::onJournalTimer(FXObject*, FXSelector sel, void*) {
  if (!journal) return 1;
  std::string cause;
  RecoveryJournal::Health health = journal->health(cause);
  if (FXSELTYPE(sel) == SEL_TIMEOUT) journal->retry();
  bool tell = health != journalHealth && !getApp()->getModalWindow();
  getApp()->removeTimeout(this, ID_JOURNAL_TIMER);
  if (health == RecoveryJournal::FAILING || (health != journalHealth && !tell))
    getApp()->addTimeout(this, ID_JOURNAL_TIMER, JOURNAL_RETRY_MS);
  if (!tell) return 1;
  journalHealth = health;
  if (health == RecoveryJournal::HEALTHY) {
    setStatusMessage("The recovery journal is written again");
    return 1;
  }
  FXString why = FXString("The recovery journal cannot be written: ") + cause.c_str();
  setStatusMessage(why + (health == RecoveryJournal::FAILING ? "; edits are kept in memory"
                                                             : "; too many edits to keep: save your work"));
  if (journalWarned) return 1;
  journalWarned = true;
  FXString text = why + ".\nYour edits are kept in memory and written to it as soon as it can be written.";
  if (health == RecoveryJournal::LOST)
    text = why + ".\nMore edits wait than memory allows for: after a crash only those up to the failure come back. "
                 "Save your work.";
  FXMessageBox::warning(this, MBOX_OK, "Warning!", "%s", text.text());
  return 1;
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
    if (!entry.base.untitled && access(entry.base.path.c_str(), R_OK) != 0)
      text += "\nThe file cannot be read any more: the edits will be applied to an empty layout.";
    else if (!baseUnchanged(entry.base))
      text += "\nThe file has changed since: the edits will be applied to its current content.";
    RecoverDialog::Answer answer = RecoverDialog(this, text).ask();
    if (answer == RecoverDialog::ANSWER_LATER) continue;
    if (answer == RecoverDialog::ANSWER_NO) {
      unlink(entry.path.c_str());
      continue;
    }
    if (journal && !entry.base.untitled) journal->baseRead(FileIdentity::of(entry.base.path));
    flattenCopiedInstances();
    ReplayResult result = replayJournal(entry.path, layout);
    if (!result.ok) {
      FXString message = FXString("Recovery journal:\n") + setJournalAside(entry.path, result.error).c_str();
      FXMessageBox::error(this, MBOX_OK, "Error!", "%s", message.text());
      continue;
    }
    // The new session's journal holds the recovered edits before the old
    // one goes.
    if (journal) journal->flush();
    unlink(entry.path.c_str());
    resetGridAndRulers();
    layoutReplaced();
    canvas->update();
    onCmdShowAll(nullptr, 0, nullptr);
    FXString status = "Recovered unsaved changes to " + file;
    if (!commandLineFile.empty()) status += "; " + commandLineFile + " was not opened";
    setStatusMessage(status);
    FXString report, list = "These edits no longer apply to " + file + " and were left out:";
    if (!result.baseUnreadable.empty()) {
      report = file + " could not be read (" + result.baseUnreadable.c_str() +
               "): the edits were applied to an empty layout.";
      list = "These edits need the file's objects and were left out:";
    }
    if (!result.notApplied.empty()) {
      for (const std::string& what : result.notApplied) list += FXString("\n") + what.c_str();
      report = paragraph(report, list);
    }
    if (result.tornEntryDropped)
      report = paragraph(report, "The last edit was cut short when the session ended and was left out.");
    if (!report.empty()) FXMessageBox::warning(this, MBOX_OK, "Warning!", "%s", report.text());
    return true;
  }
  return false;
}
