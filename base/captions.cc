#include "base/captions.h"

namespace addbook {

Captions::Captions(Display& display) : display_(display) {
  // The buttons start with their names; the labels and the text box empty.
  captions_[static_cast<size_t>(Control::kFirst)] = u"First";
  captions_[static_cast<size_t>(Control::kCommand1)] = u"Next";
  captions_[static_cast<size_t>(Control::kCommand2)] = u"ALL";
}

void Captions::Set(Control control, std::u16string_view text) {
  std::u16string& slot = captions_[static_cast<size_t>(control)];
  slot.assign(text);
  display_.ShowCaption(control, slot);
}

}  // namespace addbook
