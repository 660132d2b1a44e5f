// FTPAddLoginForm
