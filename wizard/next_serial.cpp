#include "wizard/tform1.h"

namespace lumo {

// The serial (RS-232C or USB) branches of the Next handler.
void TForm1::next_serial(int /*page*/) {}

}  // namespace lumo
