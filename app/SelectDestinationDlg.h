/// \file
/// CSelectDestinationDlg — the logic of the "Select the Destination"
/// dialog: the titles of the other open documents, in the order given, and
/// the one chosen (the first when the user picks none).
#pragma once

#include <string>
#include <vector>

namespace quillon {

class CSelectDestinationDlg {
 public:
  explicit CSelectDestinationDlg(std::vector<std::string> titles) : m_titles(std::move(titles)) {}

  const std::vector<std::string>& Titles() const { return m_titles; }
  /// Each change of the list's selection.
  void Select(int index) {
    if (index >= 0 && static_cast<size_t>(index) < m_titles.size()) m_chosen = index;
  }
  int Chosen() const { return m_chosen; }

 private:
  std::vector<std::string> m_titles;
  int m_chosen = 0;
};

}  // namespace quillon
