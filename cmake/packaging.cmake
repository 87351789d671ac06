# The Debian package (cpack -G DEB), the file type and the software-centre data.
