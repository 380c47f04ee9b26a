#pragma once

// What the program says about itself: printed by --product-info; the version is also the one
// that the application-update check compares with the service's.
namespace BriskenCommandLineScanner
{
namespace Product
{

constexpr const char* Name = "Brisken Command Line Scanner\n"; // line break included
constexpr const char* Version = "11,11,905,9127";              // four parts separated by commas
constexpr const char* Language = "  Language: English";         // printed as it stands

} // namespace Product
} // namespace BriskenCommandLineScanner
