// Replacing a file as a whole, the one way every file of the system is written.
// The new contents go to a temporary file beside the target (in the folder of the
// file a link names), which is synced and renamed over the target; then the folder
// is synced. A failure at any point leaves the former file as it was. The new file
// keeps what the former one carried besides its bytes, where the process may:
// permission bits, owner, group and extended attributes (desktop tags and ratings
// live there).
//
// Holds no state beyond its objects, so the encoder library links it too.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/Files.h"

struct TReplacePolicy {
  // Refuse to put the new file in place when the target has changed, appeared or
  // vanished since Prepare: that is another writer's file and must not be lost.
  bool GuardTarget = true;
  // Where no temporary file can be made beside the target because the folder may
  // not be written, write the target itself in place (its contents are then not
  // replaced in one step, but room for them is made before the first byte).
  bool InPlaceFallback = false;
};

class TFileReplace {
 public:
  explicit TFileReplace(TReplacePolicy policy = {}) : FPolicy(policy) {}
  // A replace not committed is abandoned: the temporary file goes, the target stays.
  ~TFileReplace();
  TFileReplace(const TFileReplace&) = delete;
  TFileReplace& operator=(const TFileReplace&) = delete;

  // Finds the file that path names and checks that this user may write it; writes
  // nothing. A link at path is followed only where the system lets this user open
  // path for writing (its protection of links in shared folders included); the
  // link then stays and the file it names is replaced. An existing target must be
  // a regular file that is not read-only (no write bit at all: refused for every
  // user, the superuser too); anything else is refused without being opened. A
  // missing target is created.
  bool Prepare(const char* path);
  // The file to be replaced or created; whether it exists. Valid after Prepare.
  const std::string& Target() const { return FTarget; }
  bool TargetExists() const { return FExists; }

  // Makes the file the new contents go to: the temporary file, carrying the
  // former file's bits, owner, group and extended attributes.
  bool Begin();
  // The new contents as a stream; null when none can be opened, and where the
  // target is written in place. After Begin.
  FILE* Stream();
  // Appends bytes to the new contents.
  bool Write(std::string_view bytes);
  // Puts the new contents complete and synced in the target's place. False when
  // anything failed, or when the guard found the target changed; the replace is
  // then abandoned. Written in place, a target that cannot take the new contents
  // whole is left as it was wherever the system says so before the first byte.
  bool Commit();

 private:
  void Abandon();
  bool CommitInPlace();

  TReplacePolicy FPolicy;
  std::string FTarget;
  bool FPrepared = false;
  bool FExists = false;
  unsigned FMode = 0, FOwner = 0, FGroup = 0;  // the former file's
  TFileIdentity FIdentity;                      // the former file as Prepare found it
  int FTargetFd = -1;                           // the former file, open for writing
  std::string FTempPath;
  int FFd = -1;  // where the contents go
  FILE* FFile = nullptr;
  bool FInPlace = false;      // the target is written in place, through FTargetFd
  std::string FInPlaceBytes;  // the new contents then
  bool FFailed = false;
};
