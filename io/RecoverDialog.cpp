#include "io/RecoverDialog.h"

// clang-format off
FXDEFMAP(RecoverDialog) RecoverDialogMap[] = {
  FXMAPFUNCS(SEL_COMMAND, RecoverDialog::ID_YES, RecoverDialog::ID_LATER, RecoverDialog::onCmdAnswer),
};
// clang-format on

FXIMPLEMENT(RecoverDialog, FXDialogBox, RecoverDialogMap, ARRAYNUMBER(RecoverDialogMap))

RecoverDialog::RecoverDialog(FXWindow* owner, const FXString& text)
    : FXDialogBox(owner, "Recover", DECOR_TITLE | DECOR_BORDER | DECOR_CLOSE) {
  FXVerticalFrame* content = new FXVerticalFrame(this, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  new FXLabel(content, text, nullptr, JUSTIFY_LEFT | LAYOUT_FILL_X);
  new FXHorizontalSeparator(content, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  FXHorizontalFrame* buttons = new FXHorizontalFrame(content, LAYOUT_CENTER_X | PACK_UNIFORM_WIDTH);
  FXButton* yes = new FXButton(buttons, "&Yes", nullptr, this, ID_YES, BUTTON_INITIAL | BUTTON_DEFAULT | FRAME_RAISED | FRAME_THICK);
  new FXButton(buttons, "&No", nullptr, this, ID_NO, BUTTON_DEFAULT | FRAME_RAISED | FRAME_THICK);
  new FXButton(buttons, "&Later", nullptr, this, ID_LATER, BUTTON_DEFAULT | FRAME_RAISED | FRAME_THICK);
  yes->setFocus();
}

RecoverDialog::Answer RecoverDialog::ask() { return (Answer)execute(PLACEMENT_OWNER); }

long RecoverDialog::onCmdAnswer(FXObject*, FXSelector sel, void*) {
  FXuint id = FXSELID(sel);
  getApp()->stopModal(this, id == ID_YES ? ANSWER_YES : id == ID_NO ? ANSWER_NO : ANSWER_LATER);
  hide();
  return 1;
}
