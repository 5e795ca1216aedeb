#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

// A small stand-in for an Explorer folder window: the folder's path as the
// title and its files in a list, one of them selected, so that the context
// menu and the wizard appear in front of something a user recognises.
class FolderWindow {
 public:
  FolderWindow(const std::filesystem::path& folder, const std::wstring& selected);
  ~FolderWindow();
  FolderWindow(const FolderWindow&) = delete;
  FolderWindow& operator=(const FolderWindow&) = delete;

  HWND Handle() const { return window_; }
  // Reads the folder again (after the wizard wrote beside the video).
  void Refresh();
  // Where a right-click on the selected file lands, in screen coordinates.
  POINT SelectedItemPoint() const;
  // The file names now in the folder.
  std::vector<std::wstring> FileNames() const;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  std::filesystem::path folder_;
  std::wstring selected_;
  HWND window_ = nullptr;
  HWND list_ = nullptr;  // owned by window_
};

// Lets the window paint what changed.
void PumpMessages(DWORD milliseconds);
