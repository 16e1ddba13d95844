#pragma once
#include <span>

#include "messages/ui_texts.h"

namespace lumo {

// The window design: every control of every page with its place, type size and fixed text.
struct ControlDef {
  enum Kind { Title, Text, Panel, Button, Radio, Edit, Password, Image, Progress, Animate, Steps };
  enum Style : unsigned { Plain = 0, Red = 1, Wrap = 2, Right = 4, Center = 8, Bold = 16 };
  int page;
  Kind kind;
  const char* name;
  const char* parent;  // "" = the page itself, else a panel of the same page
  int x, y, w, h;
  int px;              // type size in pixels
  const char* text;    // fixed text; radio groups: items separated by "\n"; steps: the step lit
  unsigned style;
};

std::span<const ControlDef> page_design();

struct StartText {
  const char* name;
  const char* text;
};
// The texts the constructor puts on the pages.
std::span<const StartText> start_texts();

}  // namespace lumo
