# After the player's folder is put together (cmake -P, from cmake/windows-ship.cmake): its files in one
# order that depends on nothing but their names, for the zip and for the uninstaller.
#   STAGE     the folder (build-windows/kirake-VERSION-windows-x64)
#   LIST      the file list for `cmake -E tar --files-from` (paths from the stage's parent folder)
#   UNINSTALL the uninstaller's part that removes exactly these files and then each folder if empty
#             (deepest first), so that what a player added stays
cmake_minimum_required(VERSION 3.16)
get_filename_component(top ${STAGE} NAME)
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${STAGE} ${STAGE}/*)
list(SORT files)
set(listed)
set(deletes)
set(folders)
foreach(file ${files})
  string(APPEND listed "${top}/${file}\n")
  string(REPLACE "/" "\\" windows ${file})
  string(APPEND deletes "  Delete \"$INSTDIR\\${windows}\"\n")
  get_filename_component(folder ${file} DIRECTORY)
  while(folder)
    list(APPEND folders ${folder})
    get_filename_component(folder ${folder} DIRECTORY)
  endwhile()
endforeach()
list(REMOVE_DUPLICATES folders)
list(SORT folders)
list(REVERSE folders)  # a folder after the folders inside it
set(removes)
foreach(folder ${folders})
  string(REPLACE "/" "\\" windows ${folder})
  string(APPEND removes "  RMDir \"$INSTDIR\\${windows}\"\n")
endforeach()
file(WRITE ${LIST} "${listed}")
# uninstall.exe is written by the installer, not a file of the folder.
file(WRITE ${UNINSTALL} "; Written by cmake/windows-pack.cmake from the player's folder.\n${deletes}${removes}")
