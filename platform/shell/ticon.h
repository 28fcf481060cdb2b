// TIcon: an icon picture that can be empty, with a handle for the shell's calls.
#pragma once

#include <QIcon>

#include "platform/shell/shellapi.h"

class TIcon {
 public:
  bool Empty() const { return picture_.isNull(); }
  const QIcon& Picture() const { return picture_; }
  // Loads a picture; a null QIcon empties the icon.
  void SetPicture(const QIcon& picture) { picture_ = picture; }
  // Copies the picture of `Source`; nullptr empties the icon.
  void Assign(const TIcon* Source);

  // nullptr while empty; otherwise valid while this object lives, showing its picture as it
  // is when the handle is used.
  HICON Handle() const { return Empty() ? nullptr : &picture_; }

 private:
  QIcon picture_;
};
