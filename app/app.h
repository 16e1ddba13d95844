#pragma once

namespace lumo {

class MessagePresenter;
class TForm1;

// Prepares the application object of this process: title, fonts and the platform's Japanese
// texts for Yes, No and OK.
void prepare_application();

// The program entry: reads the options file, builds the main window and runs the message loop.
// `presenter` replaces the message boxes (tests); `on_window` sees the window before it is shown.
int run_app(int argc, char** argv, MessagePresenter* presenter = nullptr,
            void (*on_window)(TForm1&) = nullptr);

}  // namespace lumo
