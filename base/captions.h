// The captions of the window's controls, stored by the window object itself.
//
// The record loop keeps its stop signal in the phase label and reads it back
// after every record, so a caption must read back exactly what was written:
// same characters, same length, line breaks and spaces included.  The store
// here is the truth; the display is only told, to show it.
#ifndef ADDBOOK_BASE_CAPTIONS_H_
#define ADDBOOK_BASE_CAPTIONS_H_

#include <array>
#include <string>
#include <string_view>

#include "base/display.h"

namespace addbook {

class Captions {
 public:
  // Sets the captions the window starts with.  |display| must outlive this.
  explicit Captions(Display& display);

  // Stores |text| as the caption of |control| and shows it.
  void Set(Control control, std::u16string_view text);

  // The caption last stored, exactly.
  const std::u16string& Get(Control control) const {
    return captions_[static_cast<size_t>(control)];
  }

 private:
  Display& display_;
  std::array<std::u16string, kControlCount> captions_;
};

}  // namespace addbook

#endif  // ADDBOOK_BASE_CAPTIONS_H_
