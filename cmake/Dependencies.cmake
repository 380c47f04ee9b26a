# Boost (staged static libraries), pugixml in wide-character mode, GoogleTest from Debian's sources.

if(NOT EXISTS ${BRISKEN_BOOST_ROOT}/boost/version.hpp)
    message(FATAL_ERROR "BRISKEN_BOOST_ROOT does not hold a Boost tree: ${BRISKEN_BOOST_ROOT}")
endif()

add_library(BoostHeaders INTERFACE)
target_include_directories(BoostHeaders SYSTEM INTERFACE ${BRISKEN_BOOST_ROOT})

set(boostLibDir ${BRISKEN_BOOST_ROOT}/stage/lib)
foreach(component program_options filesystem regex locale thread date_time json atomic chrono)
    set(lib ${boostLibDir}/libboost_${component}.a)
    if(NOT EXISTS ${lib})
        message(FATAL_ERROR "Boost ${component} was not built in ${boostLibDir}")
    endif()
    add_library(Boost::${component} STATIC IMPORTED)
    set_target_properties(Boost::${component} PROPERTIES IMPORTED_LOCATION ${lib})
    target_link_libraries(Boost::${component} INTERFACE BoostHeaders)
endforeach()
target_link_libraries(Boost::filesystem INTERFACE bcrypt)
target_link_libraries(Boost::thread INTERFACE Boost::chrono Boost::atomic)
target_link_libraries(Boost::locale INTERFACE Boost::thread)

add_library(pugixml STATIC ${BRISKEN_PUGIXML_ROOT}/src/pugixml.cpp)
target_include_directories(pugixml SYSTEM PUBLIC ${BRISKEN_PUGIXML_ROOT}/src)
target_compile_definitions(pugixml PUBLIC PUGIXML_WCHAR_MODE)

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
