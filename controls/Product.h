// The product's and publisher's names and the publisher's web address, as
// the windows show them.
#pragma once

namespace Product {
constexpr const char* kName = "Vantrel";
constexpr const char* kPublisher = "Corvane";
constexpr const char* kPublisherUrl = "https://corvane.example.org/vantrel";
} // namespace Product
