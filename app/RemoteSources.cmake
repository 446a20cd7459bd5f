# The FTP side of the main window: the session (connection, busy state, listing,
# transfers, remote file management) and the window's wiring of it.
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
  ${CMAKE_CURRENT_LIST_DIR}/RemoteSession.h ${CMAKE_CURRENT_LIST_DIR}/RemoteSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteSessionFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteDelete.h ${CMAKE_CURRENT_LIST_DIR}/RemoteDelete.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EntryQuestions.h ${CMAKE_CURRENT_LIST_DIR}/EntryQuestions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteSessionSecurity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteSessionPermissions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemoteAddress.h ${CMAKE_CURRENT_LIST_DIR}/RemoteAddress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransferQueueModel.h ${CMAKE_CURRENT_LIST_DIR}/TransferQueueModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TransferRunner.h ${CMAKE_CURRENT_LIST_DIR}/TransferRunner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainFormRemote.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RemotePathField.h ${CMAKE_CURRENT_LIST_DIR}/RemotePathField.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainFormRemotePath.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainFormQueue.cpp
)
target_link_libraries(ferrit_app PUBLIC ferrit_ftp)
