	
^^^^12
..\escape
