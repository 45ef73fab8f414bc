#include "base/recording_display.h"

namespace addbook {

void RecordingDisplay::AddListLine(std::u16string_view line) {
  list_.emplace_back(line);
  events_.push_back(
      Event{Kind::kListLine, std::u16string(line), Control::kText1, BoxStyle::kPlain, {}});
}

void RecordingDisplay::ShowCaption(Control control, std::u16string_view text) {
  events_.push_back(Event{Kind::kCaption, std::u16string(text), control, BoxStyle::kPlain, {}});
}

void RecordingDisplay::MsgBox(std::u16string_view prompt, BoxStyle style,
                              std::u16string_view title) {
  std::u16string shown(title.empty() ? kDefaultTitle : title);
  boxes_.push_back({std::u16string(prompt), style, shown});
  events_.push_back({Kind::kBox, std::u16string(prompt), Control::kText1, style, shown});
}

void RecordingDisplay::ShowWindow() {
  events_.push_back(Event{Kind::kShow, {}, Control::kText1, BoxStyle::kPlain, {}});
}

void RecordingDisplay::Repaint() {
  events_.push_back(Event{Kind::kRepaint, {}, Control::kText1, BoxStyle::kPlain, {}});
}

void RecordingDisplay::DoEvents() {
  events_.push_back(Event{Kind::kDoEvents, {}, Control::kText1, BoxStyle::kPlain, {}});
  if (on_do_events) on_do_events();
}

void RecordingDisplay::Clear() {
  events_.clear();
  list_.clear();
  boxes_.clear();
}

}  // namespace addbook
