# The FTP side of the main window: connection, log, command line, remote listing,
# remote file management and transfers.
target_sources(ferrit_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/uRegistry.h ${CMAKE_CURRENT_LIST_DIR}/uRegistry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteListing.h ${CMAKE_CURRENT_LIST_DIR}/RemoteListing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteFileTypes.h ${CMAKE_CURRENT_LIST_DIR}/RemoteFileTypes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteListModel.h ${CMAKE_CURRENT_LIST_DIR}/RemoteListModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransferNames.h ${CMAKE_CURRENT_LIST_DIR}/TransferNames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusText.h ${CMAKE_CURRENT_LIST_DIR}/StatusText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScreenCursor.h ${CMAKE_CURRENT_LIST_DIR}/ScreenCursor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DropTarget.h ${CMAKE_CURRENT_LIST_DIR}/DropTarget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewSelection.h
  ${CMAKE_CURRENT_LIST_DIR}/Disposer.h
  ${CMAKE_CURRENT_LIST_DIR}/mainConnection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainListing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainTransfers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainRemoteFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainRemoteSetup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainSecurity.cpp
)
target_link_libraries(ferrit_app PUBLIC ferrit_ftp)
