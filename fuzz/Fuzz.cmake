# libFuzzer targets, built alone with clang: cmake -DSONVERA_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14
set(FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)

function(sonvera_fuzz name)
  add_executable(${name} fuzz/${name}.cpp ${ARGN})
  # A fuzz target compiles the files it tests straight from their folders.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${SONVERA_GENERATED_DIR})
  target_compile_options(${name} PRIVATE ${FUZZ_FLAGS})
  target_link_options(${name} PRIVATE ${FUZZ_FLAGS})
endfunction()

sonvera_fuzz(RegFileFuzz platform/linux/RegFile.cpp platform/common/RegistryTree.cpp)
sonvera_fuzz(VersionFuzz update/Version.cpp)
sonvera_fuzz(MimeMessageFuzz host/store/MimeMessage.cpp)
target_link_libraries(MimeMessageFuzz PRIVATE PkgConfig::GMIME)
sonvera_fuzz(FolderNameFuzz host/store/MaildirTree.cpp host/store/ModifiedUtf7.cpp)
target_link_libraries(FolderNameFuzz PRIVATE PkgConfig::GMIME)
