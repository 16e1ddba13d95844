#include "wizard/tform1.h"

namespace lumo {

// The network (10BASE-T) branches of the Next handler.
void TForm1::next_network(int /*page*/) {}

bool TForm1::ftp_connected() const { return false; }

void TForm1::ftp_disconnect() {}

UploadProgress* TForm1::upload_progress() { return nullptr; }

}  // namespace lumo
