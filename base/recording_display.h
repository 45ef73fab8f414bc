// A display for tests that records, in order, everything the user would see.
#ifndef ADDBOOK_BASE_RECORDING_DISPLAY_H_
#define ADDBOOK_BASE_RECORDING_DISPLAY_H_

#include <functional>
#include <string>
#include <vector>

#include "base/display.h"

namespace addbook {

class RecordingDisplay : public Display {
 public:
  struct Box {
    std::u16string prompt;
    BoxStyle style;
    std::u16string title;  // as shown: the default title when none was given
  };
  enum class Kind { kListLine, kCaption, kBox, kShow, kRepaint, kDoEvents };
  struct Event {
    Kind kind;
    std::u16string text;  // list line, caption or box prompt
    Control control = Control::kText1;
    BoxStyle style = BoxStyle::kPlain;
    std::u16string title;
  };

  void AddListLine(std::u16string_view line) override;
  void ShowCaption(Control control, std::u16string_view text) override;
  void MsgBox(std::u16string_view prompt, BoxStyle style, std::u16string_view title) override;
  void ShowWindow() override;
  void Repaint() override;
  void DoEvents() override;

  // Everything in order.
  const std::vector<Event>& events() const { return events_; }
  // The list's lines, in the order of adding.
  const std::vector<std::u16string>& list() const { return list_; }
  // The boxes, in the order shown.
  const std::vector<Box>& boxes() const { return boxes_; }

  // Run at every DoEvents, to simulate what a user does at that point.
  std::function<void()> on_do_events;

  void Clear();

 private:
  std::vector<Event> events_;
  std::vector<std::u16string> list_;
  std::vector<Box> boxes_;
};

}  // namespace addbook

#endif  // ADDBOOK_BASE_RECORDING_DISPLAY_H_
