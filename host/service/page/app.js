// symbol browser
