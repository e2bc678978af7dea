# Runs at the end of `cmake --install`: writes SHA256SUMS at the top of the
# install prefix over every file under it, in sha256sum's format
# (`sha256sum -c SHA256SUMS`).
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
file(GLOB_RECURSE files RELATIVE ${root} ${root}/*)
list(REMOVE_ITEM files SHA256SUMS)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
    file(SHA256 ${root}/${file} hash)
    string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE ${root}/SHA256SUMS "${sums}")
