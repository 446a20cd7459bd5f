# Tests of the main window's FTP side.
ferrit_add_test(tests_app_remote
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/RemoteListingTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteSortTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteFileTypesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransferNamesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StatusTextTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AppTestSupport.h ${CMAKE_CURRENT_LIST_DIR}/AppTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteFormFixture.h ${CMAKE_CURRENT_LIST_DIR}/RemoteFormFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RealServerForm.h
    ${CMAKE_CURRENT_LIST_DIR}/RemoteConnectionTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteSecurityTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteSessionTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteBrowseTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteDeleteTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteDeleteRealServerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemotePathTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteTransferTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteRealServerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BinaryTransferTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteModesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteNamesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteNamesRealServerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransferQueueViewTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransferRunnerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LaunchTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RemoteMenuTest.cpp
  LIBS ferrit_app ferrit_testsupport)
