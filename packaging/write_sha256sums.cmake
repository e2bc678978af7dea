# Runs inside CPack after both builds are installed into the staging folder:
# writes SHA256SUMS there, in sha256sum's format (`sha256sum -c SHA256SUMS`).
file(GLOB_RECURSE files RELATIVE ${CPACK_TEMPORARY_INSTALL_DIRECTORY} ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
    file(SHA256 ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${file} hash)
    string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/SHA256SUMS "${sums}")
