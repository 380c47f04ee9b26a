#include "Commands/Commands.h"

#include "Information/Product.h"

#include <boost/algorithm/string/replace.hpp>

#include <iostream>
#include <string>

namespace BriskenCommandLineScanner
{

void PrintProductInfo()
{
    std::cout << "Product Info:\n";
    std::cout << "  Name: " << Product::Name;
    std::cout << "  Version: " << boost::replace_all_copy(std::string(Product::Version), ",", ".") << std::endl;
    std::cout << Product::Language << std::endl;
}

} // namespace BriskenCommandLineScanner
