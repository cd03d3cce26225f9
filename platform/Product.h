// The product's names, as the windows, the command line, the settings folder
// and the messages give them: one place for each.
#pragma once

namespace Product {
constexpr const char* kName = "Vantrel";                  // windows, titles
constexpr const char* kCommand = "vantrel";               // the program, its settings folder
constexpr const char* kHelperCommand = "vantrel-decoder"; // the decoder helper beside it
constexpr const char* kVersion = "1.0.0";
constexpr const char* kPublisher = "Corvane";
constexpr const char* kPublisherUrl = "https://corvane.example.org/vantrel";
} // namespace Product
