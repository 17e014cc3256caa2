// Which marker file is a video's, and which list file. The marker lies
// beside the file itself (the one a link leads to) and is named after it:
// NAME.ini, or NAME.EXT.ini where NAME.ini records another video of the
// same name (movie.mpg beside movie.vob). A marker is bound to its video's
// name and size, so that a video copied elsewhere with its marker keeps
// it. The list file follows the marker's naming.
#pragma once
#include <string>

#include "edit/marker_text.h"

// The video's file name as its marker file records it: the last component
// of the file a link leads to, as code page 932 text.
std::string marker_owner_name(const char* video_path);
// Whether the marker's lines were made for the video at the path by its
// name (one that names no video, as earlier versions wrote, is anyone's).
bool marker_names_video(const MarkerHead* head, const char* video_path);
// The marker file of the video at the path, whether it exists or is yet to
// be made: NAME.EXT.ini where that exists and records no other video, else
// NAME.ini unless that records another video. A DVD's IFO and BUP are
// named whole (VTS_01_0.IFO.ini beside VTS_01_0.BUP.ini).
std::string marker_path(const char* video_path, bool whole_name);
// The list file of -l, beside the video at the path as it is named, and
// named as its marker file is: NAME.EXT.txt where the marker is
// NAME.EXT.ini or that is this video's list, unless it is another video's
// (the stem list of NAME.EXT.X); NAME.EXT.txt too where NAME.txt is
// another video's list; else NAME.txt. So the list of one video does not
// replace another's.
std::string list_path(const char* video_path);
