// A fresh device root in a temporary folder for one test, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/storage/files.h"

class TempDeviceRoot {
 public:
  TempDeviceRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vellumet-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
    m_path = pattern;
    std::filesystem::create_directories(m_path / "SDMMC");
    std::filesystem::create_directories(m_path / "NAND");
    SetDeviceRoot(m_path.string());
  }
  ~TempDeviceRoot() {
    if (m_nameOrder) SetFindOrderForTests({});
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDeviceRoot(const TempDeviceRoot&) = delete;
  TempDeviceRoot& operator=(const TempDeviceRoot&) = delete;

  const std::filesystem::path& Path() const { return m_path; }

  // Every folder lists in name order, whatever the host's order, until the root goes.
  void ListInNameOrder() {
    SetFindOrderForTests([](std::vector<std::string>& names) { std::sort(names.begin(), names.end()); });
    m_nameOrder = true;
  }

  // Writes a host file under the root (folders made as needed).
  void WriteFile(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path target = m_path / relative;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  void WriteFile(const std::string& relative, const std::vector<std::uint8_t>& bytes) const {
    WriteFile(relative, std::string(bytes.begin(), bytes.end()));
  }
  std::string ReadFile(const std::string& relative) const {
    std::ifstream in(m_path / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& relative) const { return std::filesystem::exists(m_path / relative); }

 private:
  std::filesystem::path m_path;
  bool m_nameOrder = false;
};
