#ifndef KIVO_RECOVERDIALOG_H
#define KIVO_RECOVERDIALOG_H

#include <fx.h>

// The "Recover" question asked at start for a journal left behind: Yes, No
// or Later; closing the box counts as Later.
class RecoverDialog : public FXDialogBox {
  FXDECLARE(RecoverDialog)

protected:
  RecoverDialog() {}

public:
  enum Answer { ANSWER_LATER = 0, ANSWER_YES = 1, ANSWER_NO = 2 };
  enum { ID_YES = FXDialogBox::ID_LAST, ID_NO, ID_LATER, ID_LAST };

  RecoverDialog(FXWindow* owner, const FXString& text);
  // Show the box modally; the answer.
  Answer ask();

  long onCmdAnswer(FXObject*, FXSelector, void*);
};

#endif
