console.log("stub")
